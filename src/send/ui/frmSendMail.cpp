#include "send/ui/frmSendMail.h"

#include "send/MailingRun.h"
#include "send/ui/SendPictures.h"
#include "send/ui/frmSendErrorNoAddr.h"

#include <QCloseEvent>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <limits>

namespace {

QLabel* named(const char* name, QWidget* parent, const QString& text = {}) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    return label;
}

QString duration(qint64 ms) {
    const qint64 seconds = ms / 1000;
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600)
        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

frmSendMail::State frmSendMail::nextState(State from, int button) {
    // Rows: the state; columns: send, pause, stop.
    static constexpr State table[4][3] = {
        {Sending, Idle, Idle},
        {Sending, Paused, Stopped},
        {Sending, Sending, Stopped},
        {Sending, Stopped, Stopped},
    };
    return table[from][qBound(0, button, 2)];
}

frmSendMail::frmSendMail(Prompter& prompter, qint32 mailingId, MailRuns::Trigger trigger,
                         bool sendAgainConfirmed, QWidget* parent)
    : QDialog(parent), prompter_(prompter), mailingId_(mailingId), trigger_(trigger), lines_(this),
      lblTamberlyn_(named("lblTamberlyn", this)), lblList_(named("lblList", this)),
      lblMsg_(named("lblMsg", this)), lblMailOptions_(named("lblMailOptions", this)),
      lblMsgCount_(named("lblMsgCount", this, QStringLiteral("0"))),
      lblFailedCount_(named("lblFailedCount", this, QStringLiteral("0"))),
      lblMailingStatus_(named("lblMailingStatus", this)), lblSocketState_(named("lblSocketState", this)),
      lblWiz_(named("lblWiz", this)), prgSend_(new QProgressBar(this)), lblRate_(named("lblRate", this)),
      lblElapsed_(named("lblElapsed", this)), lblRemaining_(named("lblRemaining", this)),
      lblCurrent_(named("lblCurrent", this)), lblSessions_(named("lblSessions", this)),
      lblLimit_(named("lblLimit", this)), lstMailing_(new QListView(this)), cmdClose_(new QPushButton(this)) {
    setObjectName(QStringLiteral("frmSendMail"));
    setWindowTitle(QStringLiteral("Send Mailing"));
    setModal(true);

    // The names of the recipient source: the mailing as it is now.
    mailing_ = Mailings::find(mailingId).value_or(Mailing{});
    lblTamberlyn_->setText(mailing_.TamberlynName);
    lblList_->setText(mailing_.ListName);
    lblMsg_->setText(mailing_.MessageName);
    lblMailOptions_->setText(mailing_.Profile);
    warnBeforeRun_ =
        trigger != MailRuns::Trigger::Schedule && !sendAgainConfirmed && !mailing_.DateSent.isEmpty();

    auto* names = new QFormLayout;
    names->addRow(QStringLiteral("Group:"), lblTamberlyn_);
    names->addRow(QStringLiteral("List:"), lblList_);
    names->addRow(QStringLiteral("Message:"), lblMsg_);
    names->addRow(QStringLiteral("Delivery Options:"), lblMailOptions_);

    auto* counts = new QGridLayout;
    counts->addWidget(new QLabel(QStringLiteral("Messages Sent:"), this), 0, 0);
    counts->addWidget(lblMsgCount_, 0, 1);
    counts->addWidget(new QLabel(QStringLiteral("Failed:"), this), 0, 2);
    counts->addWidget(lblFailedCount_, 0, 3);
    counts->addWidget(lblWiz_, 0, 4, Qt::AlignRight);
    counts->setColumnStretch(1, 1);
    counts->setColumnStretch(3, 1);
    lblWiz_->setFixedSize(24, 24);

    prgSend_->setObjectName(QStringLiteral("prgSend"));
    prgSend_->setRange(0, 1);
    prgSend_->setValue(0);
    auto* pace = new QHBoxLayout;
    for (QLabel* label : {lblRate_, lblElapsed_, lblRemaining_, lblSessions_})
        pace->addWidget(label, 1);
    lblCurrent_->setTextInteractionFlags(Qt::TextSelectableByMouse);

    lstMailing_->setObjectName(QStringLiteral("lstMailing"));
    lstMailing_->setModel(&lines_);
    lstMailing_->setUniformItemSizes(true);
    lstMailing_->setEditTriggers(QAbstractItemView::NoEditTriggers);

    auto* buttons = new QHBoxLayout;
    const QStringList captions = {QStringLiteral("&Send"), QStringLiteral("&Pause"), QStringLiteral("S&top")};
    for (int i = 0; i < 3; ++i) {
        cmdSend_[i] = new QPushButton(captions[i], this);
        cmdSend_[i]->setObjectName(QStringLiteral("cmdSend_") + QString::number(i));
        cmdSend_[i]->setIconSize(QSize(24, 24));
        cmdSend_[i]->setAutoDefault(false);
        connect(cmdSend_[i], &QPushButton::clicked, this, [this, i] { cmdSend_Click(i); });
        buttons->addWidget(cmdSend_[i]);
    }
    buttons->addStretch(1);
    cmdClose_->setObjectName(QStringLiteral("cmdClose"));
    cmdClose_->setText(QStringLiteral("&Close"));
    cmdClose_->setAutoDefault(false);
    connect(cmdClose_, &QPushButton::clicked, this, &QDialog::close);
    buttons->addWidget(cmdClose_);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(names);
    layout->addLayout(counts);
    layout->addWidget(prgSend_);
    layout->addLayout(pace);
    layout->addWidget(lblCurrent_);
    layout->addWidget(lblMailingStatus_);
    layout->addWidget(lblLimit_);
    layout->addWidget(lblSocketState_);
    layout->addWidget(lstMailing_, 1);
    layout->addLayout(buttons);
    resize(520, 560);

    tmrImages_.setObjectName(QStringLiteral("tmrImages"));
    tmrImages_.setInterval(500);
    connect(&tmrImages_, &QTimer::timeout, this, [this] {
        pauseLit_ = !pauseLit_;
        cmdSend_[1]->setIcon(
            SendPictures::picture(pauseLit_ ? QStringLiteral("pause_on") : QStringLiteral("pause_off")));
    });
    tmrWiz_.setObjectName(QStringLiteral("tmrWiz"));
    tmrWiz_.setInterval(125);
    connect(&tmrWiz_, &QTimer::timeout, this,
            [this] { lblWiz_->setPixmap(SendPictures::animationFrame(++wizFrame_)); });
    tmrProgress_.setObjectName(QStringLiteral("tmrProgress"));
    tmrProgress_.setInterval(200);
    connect(&tmrProgress_, &QTimer::timeout, this, &frmSendMail::refresh);
    tmrCloseGrace_.setSingleShot(true);
    tmrCloseGrace_.setInterval(3000);
    connect(&tmrCloseGrace_, &QTimer::timeout, this, &frmSendMail::closeAfterSession);

    clock_.start();
    lblWiz_->setPixmap(SendPictures::animationFrame(0));
    enterState(Idle);
}

frmSendMail::~frmSendMail() {
    // A stopped run still waiting for the server's last reply ends here, so its history is written.
    if (runActive()) {
        run_->socket().disconnect(this);
        run_->disconnect(this);
        run_->socket().AbortCleanup();
    }
}

bool frmSendMail::runActive() const {
    return run_ && run_->socket().isRunning();
}

void frmSendMail::cmdSend_Click(int index) {
    if (index == 0 && !runActive()) {
        if (warnBeforeRun_) {
            showSendAgainWarning();
            return;
        }
    } else if (index == 0 && state_ == Stopped) {
        return; // the stopped run is still ending; it cannot go on
    }
    enterState(nextState(state_, index));
}

void frmSendMail::setPictures() {
    const auto set = [this](int button, const char* name) {
        cmdSend_[button]->setIcon(SendPictures::picture(QLatin1String(name)));
    };
    set(0, state_ == Sending ? "send_on" : state_ == Paused ? "send_pause" : "send_off");
    set(1, state_ == Paused ? "pause_on" : "pause_off");
    set(2, state_ == Stopped ? "stop_on" : "stop_off");
}

void frmSendMail::enterState(State state) {
    state_ = state;
    setPictures();
    switch (state) {
    case Sending:
        tmrImages_.stop();
        cmdClose_->setEnabled(false);
        tmrWiz_.start();
        if (!runActive())
            startRun();
        else if (run_->socket().Paused())
            run_->socket().resume();
        break;
    case Paused:
        pauseLit_ = true;
        tmrImages_.start();
        tmrWiz_.stop();
        cmdClose_->setEnabled(false);
        if (runActive())
            run_->socket().pause();
        break;
    case Stopped:
        tmrImages_.stop();
        tmrWiz_.stop();
        if (runActive())
            run_->stop();
        cmdClose_->setEnabled(true);
        break;
    case Idle:
        cmdClose_->setEnabled(true);
        break;
    }
}

void frmSendMail::showSendAgainWarning() {
    const std::optional<Mailing> now = Mailings::find(mailingId_);
    if (!now) {
        prompter_.inform(QString(), QStringLiteral("The selected mailing was not found."),
                         Prompter::Icon::Exclamation);
        return;
    }
    auto* warning = new frmSendAgainWarning(openOptions_, this);
    warning->setAttribute(Qt::WA_DeleteOnClose);
    connect(warning, &frmSendAgainWarning::answered, this, [this](bool ok) {
        if (!ok)
            return;
        warnBeforeRun_ = false;
        enterState(Sending);
    });
    warning->SetupAndShowSendAgainWarning(*now);
}

void frmSendMail::startRun() {
    passed_ = failed_ = 0;
    lblMsgCount_->setText(QStringLiteral("0"));
    lblFailedCount_->setText(QStringLiteral("0"));
    waitingLines_.clear();
    lines_.clear();
    statusText_.clear();
    socketState_.clear();

    // The run before is over; it goes once the event that ended it is done.
    if (run_)
        run_.release()->deleteLater();
    run_ = std::make_unique<MailingRun>(prompter_);
    SMTPSocket& socket = run_->socket();
    connect(&socket, &SMTPSocket::AddMailed, this, &frmSendMail::AddMailed);
    connect(&socket, &SMTPSocket::CounterUpdate, this, &frmSendMail::CounterUpdate);
    connect(&socket, &SMTPSocket::MailOutComplete, this, &frmSendMail::MailOutComplete);
    connect(&socket, &SMTPSocket::ResultString, this, &frmSendMail::ResultString);
    connect(&socket, &SMTPSocket::Progress, this, &frmSendMail::ResultString);
    connect(&socket, &SMTPSocket::sckState, this, &frmSendMail::sckState);
    connect(&socket, &SMTPSocket::ReenableSendButton, this, &frmSendMail::ReenableSendButton);
    lblSessions_->clear();
    lblLimit_->clear();
    connect(&socket, &SMTPSocket::OpenSessionsChanged, this, [this](int open) {
        lblSessions_->setText(QStringLiteral("Sessions open: ") + QString::number(open));
    });
    // A provider's limit can hold the run for hours: it says which limit and until when.
    connect(&socket, &SMTPSocket::LimitState, this,
            [this](bool paused, const QString& text) { lblLimit_->setText(paused ? text : QString()); });
    connect(&socket, &SMTPSocket::SessionClosed, this, [this] {
        if (tmrCloseGrace_.isActive())
            closeAfterSession();
    });
    connect(run_.get(), &MailingRun::finished, this, &frmSendMail::onRunFinished);
    Q_EMIT runCreated(run_.get());

    runTrigger_ = trigger_;
    trigger_ = MailRuns::Trigger::Desktop; // a later run is started by the user
    // The send-again warning was shown by this window or its opener.
    run_->setSendAgainConfirmed(true);
    pace_.begin(clock_.elapsed(), 0);
    tmrProgress_.start();
    if (!run_->start(mailingId_, runTrigger_)) {
        afterRefusal();
        return;
    }
    pace_.begin(clock_.elapsed(), run_->source().selectionCount());
    prgSend_->setRange(0, int(qBound(qint64(1), pace_.total(), qint64(std::numeric_limits<int>::max()))));
    refresh();
}

void frmSendMail::afterRefusal() {
    tmrProgress_.stop();
    refresh();
    if (state_ != Stopped)
        enterState(Stopped);
    // A scheduled start has nobody to answer a window: its host reports the refusal.
    const bool scheduled = runTrigger_ == MailRuns::Trigger::Schedule;
    if (!scheduled && !run_->refusalText().isEmpty())
        prompter_.inform(QString(), run_->refusalText(), Prompter::Icon::Exclamation);
    if (!scheduled && run_->source().onlyMarkedRecipientsLeft()) {
        auto* offer = new frmSendErrorNoAddr(prompter_, run_->mailing().Profile, this);
        offer->setAttribute(Qt::WA_DeleteOnClose);
        offer->open();
    }
    Q_EMIT runRefused();
}

void frmSendMail::onRunFinished(MailRuns::Outcome outcome) {
    tmrProgress_.stop();
    refresh();
    // Another run of a completed mailing sends it again: the warning comes first.
    if (outcome == MailRuns::Outcome::Completed)
        warnBeforeRun_ = true;
    if (closeWhenEnded_)
        tmrCloseGrace_.start();
    Q_EMIT runFinished(outcome);
}

void frmSendMail::closeAfterSession() {
    tmrCloseGrace_.stop();
    if (state_ != Sending && state_ != Paused)
        close();
}

void frmSendMail::AddMailed(const QString& SendStr, bool bPicture, bool bPass) {
    using Picture = SendLineModel::Picture;
    waitingLines_.append({SendStr, !bPicture ? Picture::None : bPass ? Picture::Ok : Picture::Fail});
}

void frmSendMail::refresh() {
    if (!waitingLines_.isEmpty()) {
        lines_.addLines(waitingLines_);
        waitingLines_.clear();
        lstMailing_->scrollToBottom();
    }
    lblMsgCount_->setText(QString::number(passed_));
    lblFailedCount_->setText(QString::number(failed_));
    lblMailingStatus_->setText(statusText_);
    lblSocketState_->setText(socketState_);
    if (!run_)
        return;
    const qint64 done = passed_ + failed_;
    if (runActive())
        pace_.note(clock_.elapsed(), done);
    prgSend_->setValue(int(qMin<qint64>(done, prgSend_->maximum())));
    lblRate_->setText(QString::number(pace_.rate(), 'f', 1) + QStringLiteral(" messages/s"));
    lblElapsed_->setText(QStringLiteral("Elapsed ") + duration(pace_.elapsedMs()));
    const std::optional<qint64> remaining = pace_.remainingMs();
    lblRemaining_->setText(runActive() && remaining ? QStringLiteral("Remaining ") + duration(*remaining)
                                                    : QString());
    const QString current = runActive() ? run_->socket().recipientInHand() : QString();
    lblCurrent_->setText(current.isEmpty() ? QString() : QStringLiteral("Sending to ") + current);
}

void frmSendMail::CounterUpdate(qint64 nSent, qint64 nFailed) {
    passed_ = nSent;
    failed_ = nFailed;
}

void frmSendMail::MailOutComplete(qint64 nSent) {
    statusText_ = QString::number(nSent) + QStringLiteral(" messages sent.");
}

void frmSendMail::ResultString(const QString& ResultText) {
    statusText_ = ResultText;
}

void frmSendMail::sckState(const QString& sState) {
    socketState_ = sState;
}

void frmSendMail::ReenableSendButton() {
    if (state_ != Stopped)
        enterState(Stopped);
}

void frmSendMail::closeEvent(QCloseEvent* event) {
    // Leaving mid-run would drop the session with a message half sent.
    if (state_ == Sending || state_ == Paused) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void frmSendMail::reject() {
    if (state_ == Sending || state_ == Paused)
        return;
    QDialog::reject();
}
