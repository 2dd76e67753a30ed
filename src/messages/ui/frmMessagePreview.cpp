#include "messages/ui/frmMessagePreview.h"

#include "core/AppInfo.h"
#include "core/AppSettings.h"
#include "core/Prompter.h"
#include "messages/MessagePreview.h"
#include "messages/ui/OfflineHtmlView.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTextDocument>
#include <QUrl>
#include <QVBoxLayout>

frmMessagePreview* frmMessagePreview::showPreview(const MessageRecord& draft, Prompter& prompter,
                                                  QWidget* parent) {
    QString refusal;
    std::unique_ptr<MessagePreview> preview =
        MessagePreview::open(draft, qMax(0, appSettings().WordWrapSize), &refusal);
    if (!preview) {
        prompter.inform(AppTitle(), refusal, Prompter::Icon::Exclamation);
        return nullptr;
    }
    auto* window = new frmMessagePreview(std::move(preview), parent);
    window->show();
    return window;
}

frmMessagePreview::frmMessagePreview(std::unique_ptr<MessagePreview> preview, QWidget* parent)
    : QWidget(parent, Qt::Window), preview_(std::move(preview)), to_(new QLabel(this)),
      subject_(new QLabel(this)), count_(new QLabel(this)),
      previous_(new QPushButton(QStringLiteral("< &Previous"), this)),
      next_(new QPushButton(QStringLiteral("&Next >"), this)), tabs_(new QTabWidget(this)),
      text_(new QPlainTextEdit(this)), html_(new OfflineHtmlView(this)) {
    setObjectName(QStringLiteral("frmMessagePreview"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Preview Message: ") + preview_->messageName());
    to_->setObjectName(QStringLiteral("lblTo"));
    subject_->setObjectName(QStringLiteral("lblSubject"));
    count_->setObjectName(QStringLiteral("lblCount"));
    previous_->setObjectName(QStringLiteral("cmdPrevious"));
    next_->setObjectName(QStringLiteral("cmdNext"));
    tabs_->setObjectName(QStringLiteral("tabView"));
    text_->setObjectName(QStringLiteral("txtPreviewText"));
    html_->setObjectName(QStringLiteral("htmlPreview"));
    for (QLabel* label : {to_, subject_})
        label->setTextFormat(Qt::PlainText);
    text_->setReadOnly(true);
    text_->setLineWrapMode(QPlainTextEdit::NoWrap); // the wrap shown is the message's own
    html_->setResolver([this](int type, const QUrl& url) { return loadImage(type, url); });

    const int type = preview_->sendType();
    if (type == 0 || type == 2)
        tabs_->addTab(text_, QStringLiteral("Plain Text"));
    else
        text_->hide();
    if (type == 1 || type == 2)
        tabs_->addTab(html_, QStringLiteral("HTML"));
    else
        html_->hide();

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("To:"), to_);
    form->addRow(QStringLiteral("Subject:"), subject_);
    auto* navigation = new QHBoxLayout;
    navigation->addWidget(previous_);
    navigation->addWidget(count_);
    navigation->addWidget(next_);
    navigation->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(tabs_, 1);
    layout->addLayout(navigation);

    connect(next_, &QPushButton::clicked, this, &frmMessagePreview::cmdNext_Click);
    connect(previous_, &QPushButton::clicked, this, &frmMessagePreview::cmdPrevious_Click);
    resize(720, 600);
    PreviewCurrentAddress();
}

frmMessagePreview::~frmMessagePreview() = default;

void frmMessagePreview::PreviewCurrentAddress() {
    const PreviewCopy& copy = preview_->current();
    to_->setText(copy.to);
    subject_->setText(copy.subject);
    count_->setText(preview_->counterText());
    text_->setPlainText(copy.text);
    html_->setHtml(copy.html);
    previous_->setEnabled(preview_->position() > 1);
    next_->setEnabled(preview_->position() < preview_->count());
}

void frmMessagePreview::cmdNext_Click() {
    if (preview_->next())
        PreviewCurrentAddress();
}

void frmMessagePreview::cmdPrevious_Click() {
    if (preview_->previous())
        PreviewCurrentAddress();
}

QImage frmMessagePreview::missingImage(const QString& name) {
    QImage image(240, 48, QImage::Format_RGB32);
    image.fill(QColor(0xf2, 0xf2, 0xf2));
    QPainter painter(&image);
    painter.setPen(QColor(0x90, 0x90, 0x90));
    painter.drawRect(image.rect().adjusted(0, 0, -1, -1));
    painter.setPen(Qt::black);
    painter.drawText(image.rect().adjusted(6, 0, -6, 0), Qt::AlignCenter | Qt::TextWordWrap,
                     QStringLiteral("Missing image: ") + name);
    return image;
}

QVariant frmMessagePreview::loadImage(int type, const QUrl& url) const {
    // Only the message's own images are shown; nothing is fetched from anywhere else.
    if (type != QTextDocument::ImageResource ||
        url.scheme().compare(QLatin1StringView("cid"), Qt::CaseInsensitive) != 0)
        return {};
    QString name;
    const std::optional<QByteArray> bytes = preview_->imageBytes(url.path(), &name);
    QImage image;
    if (bytes)
        image.loadFromData(*bytes);
    if (image.isNull())
        return name.isEmpty() ? QVariant() : QVariant(missingImage(name));
    return image;
}
