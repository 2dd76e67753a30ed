#include "mailings/ui/frmTamberlynGroupOptions.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

frmTamberlynGroupOptions::frmTamberlynGroupOptions(Functions functions, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmTamberlynGroupOptions"));
    setWindowTitle(QStringLiteral("Tamberlyn Groups"));
    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel(QStringLiteral("A Tamberlyn Group holds mailings that belong together."), this);
    intro->setWordWrap(true);
    layout->addWidget(intro);
    const struct {
        QString caption;
        std::function<void()> work;
    } buttons[] = {
        {QStringLiteral("&New Tamberlyn Group..."), std::move(functions.newGroup)},
        {QStringLiteral("&Open Tamberlyn Group..."), std::move(functions.openGroup)},
        {QStringLiteral("&Delete Tamberlyn Group..."), std::move(functions.deleteGroup)},
    };
    int index = 0;
    for (const auto& entry : buttons) {
        auto* button = new QPushButton(entry.caption, this);
        button->setObjectName(QStringLiteral("cmdSelect_") + QString::number(index++));
        button->setMinimumHeight(32);
        // The group windows open after this one has closed.
        connect(button, &QPushButton::clicked, this, [this, work = entry.work] {
            accept();
            if (work)
                work();
        });
        layout->addWidget(button);
    }
    layout->addStretch(1);
    auto* close = new QPushButton(QStringLiteral("&Close"), this);
    close->setObjectName(QStringLiteral("cmdClose"));
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    layout->addWidget(close, 0, Qt::AlignRight);
    resize(320, 240);
}
