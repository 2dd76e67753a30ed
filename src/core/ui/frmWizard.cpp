#include "core/ui/frmWizard.h"

#include "core/AppInfo.h"
#include "core/ui/HelpFile.h"

#include <QCloseEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

QString frmWizard::exitQuestionText() {
    return QStringLiteral("Are you sure you wish to exit?  Any changes you made in the wizard will be lost\n"
                          "Use the finish button to save modifications.");
}

QString frmWizard::stepCaption(const QString& title, int step, int steps) {
    return title + QStringLiteral(" - Step ") + QString::number(step) + QStringLiteral(" of ") +
           QString::number(steps);
}

frmWizard::frmWizard(Prompter& prompter, QWidget* parent)
    : QDialog(parent), prompter_(prompter), heading_(new QLabel(this)), stack_(new QStackedWidget(this)) {
    heading_->setObjectName(QStringLiteral("lblHeading"));
    QFont big = heading_->font();
    big.setBold(true);
    big.setPointSizeF(big.pointSizeF() * 1.3);
    heading_->setFont(big);
    heading_->setWordWrap(true);

    auto* rule = new QFrame(this);
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Sunken);

    const QString captions[] = {QStringLiteral("&Back"), QStringLiteral("&Next"), QStringLiteral("&Finish"),
                                QStringLiteral("E&xit"), QStringLiteral("&Help")};
    auto* row = new QHBoxLayout;
    for (int i = 0; i < 5; ++i) {
        buttons_[i] = new QPushButton(captions[i], this);
        buttons_[i]->setObjectName(QStringLiteral("cmdWizard_") + QString::number(i));
        buttons_[i]->setAutoDefault(false);
    }
    row->addWidget(buttons_[Help]);
    row->addStretch(1);
    for (Button b : {Back, Next, Finish, Exit})
        row->addWidget(buttons_[b]);
    buttons_[Next]->setDefault(true);

    connect(buttons_[Back], &QPushButton::clicked, this, &frmWizard::goBack);
    connect(buttons_[Next], &QPushButton::clicked, this, &frmWizard::goNext);
    connect(buttons_[Finish], &QPushButton::clicked, this, [this] {
        if (busy_ || !finishWizard())
            return;
        closing_ = true;
        accept();
    });
    connect(buttons_[Exit], &QPushButton::clicked, this, &frmWizard::close);
    connect(buttons_[Help], &QPushButton::clicked, this, [this] { ShowHelpFile(prompter_); });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(heading_);
    layout->addWidget(stack_, 1);
    layout->addWidget(rule);
    layout->addLayout(row);
    setSizeGripEnabled(true);
}

void frmWizard::LoadWizModal() {
    setWindowModality(Qt::WindowModal);
    if (!shown_ && pageCount() > 0) {
        shown_ = true;
        pageEntered(currentPage());
    }
    open();
}

QWidget* frmWizard::addPage(const QString& title, const QString& heading) {
    auto* page = new QWidget(stack_);
    page->setObjectName(QStringLiteral("page") + QString::number(stack_->count() + 1));
    titles_ << title;
    headings_ << heading;
    stack_->addWidget(page);
    if (stack_->count() == 1) {
        heading_->setText(heading);
        heading_->setVisible(!heading.isEmpty());
    }
    updateCaption();
    updateButtons();
    return page;
}

void frmWizard::setHeading(int page, const QString& heading) {
    headings_[page] = heading;
    if (page == currentPage()) {
        heading_->setText(heading);
        heading_->setVisible(!heading.isEmpty());
    }
}

void frmWizard::setPageTitle(int page, const QString& title) {
    titles_[page] = title;
    updateCaption();
}

int frmWizard::currentPage() const {
    return stack_->currentIndex();
}

int frmWizard::pageCount() const {
    return stack_->count();
}

QWidget* frmWizard::page(int index) const {
    return stack_->widget(index);
}

QPushButton* frmWizard::button(Button which) const {
    return buttons_[which];
}

bool frmWizard::goNext() {
    const int page = currentPage();
    if (busy_ || page + 1 >= pageCount() || !checkPage(page))
        return false;
    showPage(page + 1);
    return true;
}

bool frmWizard::goBack() {
    if (busy_ || currentPage() <= 0)
        return false;
    showPage(currentPage() - 1);
    return true;
}

void frmWizard::updateCaption() {
    const int index = currentPage();
    setWindowTitle(stepCaption(titles_[index], index + 1, pageCount()));
}

void frmWizard::showPage(int index) {
    shown_ = true;
    stack_->setCurrentIndex(index);
    updateCaption();
    heading_->setText(headings_[index]);
    heading_->setVisible(!headings_[index].isEmpty());
    updateButtons();
    pageEntered(index);
}

void frmWizard::jumpToPage(int index) {
    if (index >= 0 && index < pageCount() && !busy_)
        showPage(index);
}

void frmWizard::setBusy(bool busy) {
    busy_ = busy;
    updateButtons();
}

void frmWizard::setFinishEnabled(bool enabled) {
    finishEnabled_ = enabled;
    updateButtons();
}

void frmWizard::updateButtons() {
    const int page = currentPage();
    buttons_[Back]->setEnabled(!busy_ && page > 0);
    buttons_[Next]->setEnabled(!busy_ && page + 1 < pageCount());
    buttons_[Finish]->setEnabled(!busy_ && finishEnabled_);
}

bool frmWizard::confirmExit() {
    if (closing_)
        return true;
    if (!mayExit())
        return false;
    if (prompter_.ask(AppTitle(), exitQuestion(), Prompter::Buttons::YesNo, Prompter::Icon::Question) !=
        Prompter::Answer::Yes)
        return false;
    closing_ = true;
    abandonWork();
    return true;
}

void frmWizard::reject() {
    // Escape and Exit come here as well as the close box: each asks first.
    if (confirmExit())
        QDialog::reject();
}

void frmWizard::closeEvent(QCloseEvent* event) {
    if (!confirmExit()) {
        event->ignore();
        return;
    }
    closing_ = true;
    QDialog::closeEvent(event);
}
