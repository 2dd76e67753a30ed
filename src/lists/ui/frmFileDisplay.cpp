#include "lists/ui/frmFileDisplay.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>

frmFileDisplay::frmFileDisplay(const QString& path, QWidget* parent)
    : QDialog(parent), contents_(new QPlainTextEdit(this)) {
    setObjectName(QStringLiteral("frmFileDisplay"));
    setWindowTitle(QFileInfo(path).fileName());
    auto* heading = new QLabel(QStringLiteral("Contents of file:"), this);
    heading->setObjectName(QStringLiteral("lblHeading"));
    auto* name = new QLabel(path, this);
    name->setObjectName(QStringLiteral("lblFileName"));
    name->setTextInteractionFlags(Qt::TextSelectableByMouse);

    contents_->setObjectName(QStringLiteral("txtContents"));
    contents_->setReadOnly(true);
    contents_->setLineWrapMode(QPlainTextEdit::NoWrap);
    contents_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    QFile file(path);
    if (file.open(QIODevice::ReadOnly)) {
        const QByteArray bytes = file.read(MaxShownBytes);
        QString text = QString::fromUtf8(bytes);
        if (file.size() > MaxShownBytes)
            text += QStringLiteral("\n[The file is longer; only its first %1 MB are shown.]")
                        .arg(MaxShownBytes / (1024 * 1024));
        contents_->setPlainText(text);
    } else {
        contents_->setPlainText(QStringLiteral("The file could not be read: ") + file.errorString());
    }

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &frmFileDisplay::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(heading);
    layout->addWidget(name);
    layout->addWidget(contents_, 1);
    layout->addWidget(buttons);
    resize(640, 480);
}

QString frmFileDisplay::text() const {
    return contents_->toPlainText();
}
