#include "mailings/ui/frmTBCentral.h"

#include "core/AppInfo.h"
#include "core/AppSettings.h"
#include "core/ui/WindowCommand.h"
#include "db/ListEvents.h"
#include "mailings/MailRunTable.h"
#include "mailings/MailRuns.h"
#include "mailings/MailingEvents.h"
#include "mailings/MailingOutline.h"
#include "mailings/Schedules.h"
#include "mailings/mdlTamberlynGroupOptions.h"
#include "mailings/ui/DeliveryOptionsWindows.h"
#include "mailings/ui/MailingLauncher.h"
#include "mailings/ui/frmScheduler.h"

#include <QAction>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineSeries>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QPushButton>
#include <QSplitter>
#include <QTableView>
#include <QTreeView>
#include <QVBoxLayout>
#include <QValueAxis>

namespace {

// A drop-down list that reads its names again each time it drops down, keeping the one chosen.
class ChoiceBox : public QComboBox {
public:
    ChoiceBox(const QString& name, Mailings::Part part, QWidget* parent) : QComboBox(parent), part_(part) {
        setObjectName(name);
        setMinimumContentsLength(16);
        setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    }
    void refill() {
        const QString chosen = currentText();
        clear();
        addItems(Mailings::choices(part_));
        setCurrentIndex(findText(chosen));
    }
    // Chooses the name, when it is offered.
    void choose(const QString& name) {
        refill();
        setCurrentIndex(findText(name));
    }
    void showPopup() override {
        refill();
        QComboBox::showPopup();
    }

private:
    Mailings::Part part_;
};

QAction* rowCommand(QWidget* owner, const char* name, const QString& text, void (frmTBCentral::*work)(),
                    frmTBCentral* centre) {
    auto* action = new QAction(text, owner);
    action->setObjectName(QString::fromLatin1(name));
    QObject::connect(action, &QAction::triggered, centre, work);
    owner->addAction(action);
    return action;
}

} // namespace

frmTBCentral::frmTBCentral(Desk& desk, Openers openers, QWidget* parent)
    : QWidget(parent), desk_(desk), openers_(std::move(openers)), outline_(new MailingOutline(this)),
      runs_(new MailRunTable(this)), grdFlex_(new QTreeView(this)), lblHeading_(new QLabel(this)) {
    setObjectName(QStringLiteral("frmTBCentral"));
    setWindowTitle(QStringLiteral("Tamberlyn Central"));

    lblHeading_->setObjectName(QStringLiteral("lblHeading"));
    lblHeading_->setTextFormat(Qt::RichText);
    lblHeading_->setText(
        QStringLiteral("<b>Tamberlyn Groups</b> \\ <span style=\"color:#1d4f91\">Lists</span> "
                       "\\ <span style=\"color:#555\">Messages</span>"));
    auto* expand = new QPushButton(QStringLiteral("+"), this);
    expand->setObjectName(QStringLiteral("cmdOutlineExpand"));
    expand->setToolTip(QStringLiteral("Show one more level"));
    expand->setFixedWidth(28);
    connect(expand, &QPushButton::clicked, this, &frmTBCentral::expandOneLevel);
    auto* collapse = new QPushButton(QStringLiteral("-"), this);
    collapse->setObjectName(QStringLiteral("cmdOutlineCollapse"));
    collapse->setToolTip(QStringLiteral("Show one level fewer"));
    collapse->setFixedWidth(28);
    connect(collapse, &QPushButton::clicked, this, &frmTBCentral::collapseOneLevel);
    auto* heading = new QHBoxLayout;
    heading->addWidget(lblHeading_, 1);
    heading->addWidget(expand);
    heading->addWidget(collapse);

    grdFlex_->setObjectName(QStringLiteral("grdFlex"));
    grdFlex_->setModel(outline_);
    grdFlex_->setTreePosition(MailingOutline::NameColumn);
    grdFlex_->setColumnHidden(MailingOutline::OptionsColumn, true);
    grdFlex_->setColumnWidth(MailingOutline::MarginColumn, 8);
    grdFlex_->setColumnWidth(MailingOutline::SpareColumn, 8);
    // The names take the room the numbers leave.
    grdFlex_->header()->setStretchLastSection(false);
    grdFlex_->header()->setSectionResizeMode(MailingOutline::NameColumn, QHeaderView::Stretch);
    grdFlex_->header()->setMinimumSectionSize(8);
    grdFlex_->setColumnWidth(MailingOutline::TotalColumn, 90);
    grdFlex_->setColumnWidth(MailingOutline::IdColumn, 76);
    grdFlex_->setColumnWidth(MailingOutline::DateColumn, 140);
    grdFlex_->setSelectionBehavior(QAbstractItemView::SelectRows);
    grdFlex_->setSelectionMode(QAbstractItemView::SingleSelection);
    grdFlex_->setExpandsOnDoubleClick(false);
    grdFlex_->setUniformRowHeights(true);
    grdFlex_->setAlternatingRowColors(true);
    grdFlex_->setContextMenuPolicy(Qt::ActionsContextMenu);
    connect(grdFlex_, &QTreeView::doubleClicked, this, &frmTBCentral::openSelected);
    connect(grdFlex_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &frmTBCentral::showResults);

    rowCommand(grdFlex_, "mnuOpen", QStringLiteral("&Open"), &frmTBCentral::openSelected, this);
    rowCommand(grdFlex_, "mnuUseForNewMailing", QStringLiteral("&Use for a New Mailing"),
               &frmTBCentral::copySelectedToChoices, this);
    rowCommand(grdFlex_, "mnuDeliveryOptions", QStringLiteral("Show Delivery O&ptions..."),
               &frmTBCentral::showSelectedOptions, this);
    rowCommand(grdFlex_, "mnuSendMailing", QStringLiteral("Sen&d Mailing..."),
               &frmTBCentral::SendTamberlynIfPossible, this);
    rowCommand(grdFlex_, "mnuScheduler", QStringLiteral("&Scheduler..."), &frmTBCentral::openScheduler, this);
    rowCommand(grdFlex_, "mnuDeleteMailing", QStringLiteral("Delete &Mailing..."),
               &frmTBCentral::deleteSelectedMailing, this);
    rowCommand(grdFlex_, "mnuDeleteGroup", QStringLiteral("Delete &Group..."),
               &frmTBCentral::deleteSelectedGroup, this);

    auto* choices = new QGroupBox(QStringLiteral("New mailing"), this);
    buildChoices(choices);

    auto* left = new QWidget(this);
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->addLayout(heading);
    leftLayout->addWidget(grdFlex_, 1);
    leftLayout->addWidget(choices);

    auto* split = new QSplitter(Qt::Horizontal, this);
    split->addWidget(left);
    split->addWidget(buildResults());
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 2);
    split->setSizes({640, 400});
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(split);

    MailingEvents& events = MailingEvents::instance();
    connect(&events, &MailingEvents::mailingsChanged, this, [this] {
        refreshOutline();
        showResults();
    });
    connect(&events, &MailingEvents::groupsChanged, this, [this] {
        refreshOutline();
        refillChoices();
    });
    connect(&events, &MailingEvents::profilesChanged, this, &frmTBCentral::refillChoices);
    // A run's results: the mailing's row shows its new totals and is selected.
    connect(&events, &MailingEvents::mailingResults, this, [this](qint32 id) {
        if (const std::optional<Mailing> mailing = Mailings::find(id);
            mailing && outline_->updateMailing(*mailing))
            SelectOutlineRow(id);
        showResults();
    });
    connect(&events, &MailingEvents::runsChanged, this, [this](qint32 id) {
        if (id == shownMailing_)
            showResults();
    });
    connect(&ListEvents::instance(), &ListEvents::listsChanged, this, &frmTBCentral::refillChoices);

    outline_->setContent(Mailings::choices(Mailings::Part::Group), Mailings::all());
    grdFlex_->expandAll();
    refillChoices();
    const auto remembered = [](const char* key) {
        return AppGetSetting(QStringLiteral("ApplicationDefaults"), QString::fromLatin1(key), QString());
    };
    static_cast<ChoiceBox*>(cboTamberlyn_)->choose(remembered("CurTamberlyn"));
    static_cast<ChoiceBox*>(cboList_)->choose(remembered("CurList"));
    static_cast<ChoiceBox*>(cboMessage_)->choose(remembered("CurMessage"));
    static_cast<ChoiceBox*>(cboMailOptions_)->choose(remembered("MailEventProfile"));
    showResults();
    resize(1000, 560);
}

void frmTBCentral::buildChoices(QWidget* box) {
    cboTamberlyn_ = new ChoiceBox(QStringLiteral("cboTamberlyn"), Mailings::Part::Group, box);
    cboTamberlyn_->setToolTip(QStringLiteral("Select a Tamberlyn Group for a new mailing."));
    cboList_ = new ChoiceBox(QStringLiteral("cboList"), Mailings::Part::List, box);
    cboMessage_ = new ChoiceBox(QStringLiteral("cboMessage"), Mailings::Part::Message, box);
    cboMessage_->setToolTip(QStringLiteral("Select a message for a new mailing."));
    cboMailOptions_ = new ChoiceBox(QStringLiteral("cboMailOptions"), Mailings::Part::Options, box);
    cboMailOptions_->setToolTip(QStringLiteral("Select a Tamberlyn Delivery Options for a new mailing."));

    cmdSSCreateMailing_ = new QPushButton(QStringLiteral("Prepare Mailing"), box);
    cmdSSCreateMailing_->setObjectName(QStringLiteral("cmdSSCreateMailing"));
    connect(cmdSSCreateMailing_, &QPushButton::clicked, this, [this] {
        const QStringList chosen = {cboTamberlyn_->currentText(), cboList_->currentText(),
                                    cboMessage_->currentText(), cboMailOptions_->currentText()};
        if (chosen.contains(QString())) {
            inform(
                QStringLiteral("Please choose a Tamberlyn Group, a list, a message and the Delivery Options "
                               "for the new mailing."));
            return;
        }
        PrepareMailingUpdatingInterface(chosen[0], chosen[1], chosen[2], chosen[3]);
    });
    cmdSSSendTamberlyn_ = new QPushButton(QStringLiteral("Send Mailing"), box);
    cmdSSSendTamberlyn_->setObjectName(QStringLiteral("cmdSSSendTamberlyn"));
    connect(cmdSSSendTamberlyn_, &QPushButton::clicked, this, &frmTBCentral::SendTamberlynIfPossible);
    cmdScheduler_ = new QPushButton(QStringLiteral("Scheduler..."), box);
    cmdScheduler_->setObjectName(QStringLiteral("cmdScheduler"));
    connect(cmdScheduler_, &QPushButton::clicked, this, &frmTBCentral::openScheduler);

    auto* grid = new QGridLayout(box);
    const auto label = [box](const QString& text, QWidget* buddy) {
        auto* l = new QLabel(text, box);
        l->setBuddy(buddy);
        return l;
    };
    grid->addWidget(label(QStringLiteral("&Group:"), cboTamberlyn_), 0, 0);
    grid->addWidget(cboTamberlyn_, 0, 1);
    grid->addWidget(label(QStringLiteral("&List:"), cboList_), 0, 2);
    grid->addWidget(cboList_, 0, 3);
    grid->addWidget(label(QStringLiteral("&Message:"), cboMessage_), 1, 0);
    grid->addWidget(cboMessage_, 1, 1);
    grid->addWidget(label(QStringLiteral("&Delivery Options:"), cboMailOptions_), 1, 2);
    grid->addWidget(cboMailOptions_, 1, 3);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdSSCreateMailing_);
    buttons->addWidget(cmdSSSendTamberlyn_);
    buttons->addWidget(cmdScheduler_);
    grid->addLayout(buttons, 2, 0, 1, 4);
}

QWidget* frmTBCentral::buildResults() {
    auto* box = new QGroupBox(QStringLiteral("Results"), this);
    box->setObjectName(QStringLiteral("fraResults"));
    lblTotals_ = new QLabel(box);
    lblTotals_->setObjectName(QStringLiteral("lblTotals"));
    lblSchedule_ = new QLabel(box);
    lblSchedule_->setObjectName(QStringLiteral("lblSchedule"));
    tblRuns_ = new QTableView(box);
    tblRuns_->setObjectName(QStringLiteral("tblRuns"));
    tblRuns_->setModel(runs_);
    tblRuns_->setSelectionBehavior(QAbstractItemView::SelectRows);
    tblRuns_->setSelectionMode(QAbstractItemView::SingleSelection);
    tblRuns_->verticalHeader()->hide();
    tblRuns_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    tblRuns_->horizontalHeader()->setStretchLastSection(true);
    connect(tblRuns_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) { showRun(current.row()); });

    auto* chart = new QChart;
    chart->legend()->setAlignment(Qt::AlignBottom);
    chart->setMargins(QMargins(4, 4, 4, 4));
    chtRun_ = new QChartView(chart, box);
    chtRun_->setObjectName(QStringLiteral("chtRun"));
    chtRun_->setRenderHint(QPainter::Antialiasing);
    chtRun_->setMinimumHeight(200);

    auto* layout = new QVBoxLayout(box);
    layout->addWidget(lblTotals_);
    layout->addWidget(lblSchedule_);
    layout->addWidget(tblRuns_, 1);
    layout->addWidget(chtRun_, 2);
    return box;
}

frmTBCentral* frmTBCentral::of(Desk& desk) {
    for (QMdiSubWindow* sub : desk.mdiArea()->subWindowList())
        if (auto* centre = qobject_cast<frmTBCentral*>(sub->widget()))
            return centre;
    return nullptr;
}

QString frmTBCentral::selectMessageFirstText() {
    return QStringLiteral("Cannot send the mailing.  Please select a mail message first.");
}

QString frmTBCentral::notFoundText() {
    return QStringLiteral("The selected mailing was not found.");
}

void frmTBCentral::inform(const QString& text, bool exclamation) {
    desk_.prompter().inform(AppTitle(), text,
                            exclamation ? Prompter::Icon::Exclamation : Prompter::Icon::Information);
}

// ---- Outline ----

void frmTBCentral::refillChoices() {
    for (QComboBox* box : {cboTamberlyn_, cboList_, cboMessage_, cboMailOptions_})
        static_cast<ChoiceBox*>(box)->refill();
}

void frmTBCentral::refreshOutline() {
    // Rows open before stay open, and rows new to the outline open.
    QSet<QString> known;
    QSet<QString> open;
    const auto walk = [this](const std::function<void(const QModelIndex&)>& visit) {
        const std::function<void(const QModelIndex&)> down = [&](const QModelIndex& parent) {
            for (int row = 0; row < outline_->rowCount(parent); ++row) {
                const QModelIndex index = outline_->index(row, 0, parent);
                visit(index);
                down(index);
            }
        };
        down({});
    };
    walk([&](const QModelIndex& index) {
        known.insert(outline_->keyOf(index));
        if (grdFlex_->isExpanded(index))
            open.insert(outline_->keyOf(index));
    });
    const QString selected = outline_->keyOf(selectedRow());

    outline_->setContent(Mailings::choices(Mailings::Part::Group), Mailings::all());

    walk([&](const QModelIndex& index) {
        const QString key = outline_->keyOf(index);
        if (open.contains(key) || !known.contains(key))
            grdFlex_->setExpanded(index, true);
    });
    selectIndex(outline_->indexOfKey(selected));
}

QModelIndex frmTBCentral::selectedRow() const {
    const QModelIndex current = grdFlex_->selectionModel()->currentIndex();
    if (!current.isValid() || !grdFlex_->selectionModel()->isRowSelected(current.row(), current.parent()))
        return {};
    return current.siblingAtColumn(0);
}

void frmTBCentral::selectIndex(const QModelIndex& index) {
    if (!index.isValid()) {
        grdFlex_->selectionModel()->clearSelection();
        return;
    }
    for (QModelIndex up = index.parent(); up.isValid(); up = up.parent())
        grdFlex_->setExpanded(up, true);
    grdFlex_->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                           QItemSelectionModel::Rows);
    grdFlex_->scrollTo(index);
}

bool frmTBCentral::SelectOutlineRow(qint32 mailing) {
    const QModelIndex index = outline_->indexOfMailing(mailing);
    selectIndex(index);
    return index.isValid();
}

bool frmTBCentral::selectGroup(const QString& group) {
    const QModelIndex index = outline_->indexOfGroup(group);
    selectIndex(index);
    if (index.isValid())
        grdFlex_->setExpanded(index, true);
    return index.isValid();
}

void frmTBCentral::expandOneLevel() {
    for (int level = MailingOutline::GroupLevel; level < MailingOutline::MailingLevel; ++level) {
        QList<QModelIndex> closed;
        const std::function<void(const QModelIndex&)> visit = [&](const QModelIndex& parent) {
            for (int row = 0; row < outline_->rowCount(parent); ++row) {
                const QModelIndex index = outline_->index(row, 0, parent);
                if (outline_->level(index) == level && outline_->rowCount(index) > 0 &&
                    !grdFlex_->isExpanded(index))
                    closed << index;
                visit(index);
            }
        };
        visit({});
        if (!closed.isEmpty()) {
            for (const QModelIndex& index : std::as_const(closed)) {
                for (QModelIndex up = index.parent(); up.isValid(); up = up.parent())
                    grdFlex_->setExpanded(up, true);
                grdFlex_->setExpanded(index, true);
            }
            return;
        }
    }
}

void frmTBCentral::collapseOneLevel() {
    for (int level = MailingOutline::ListLevel; level >= MailingOutline::GroupLevel; --level) {
        bool collapsed = false;
        const std::function<void(const QModelIndex&)> visit = [&](const QModelIndex& parent) {
            for (int row = 0; row < outline_->rowCount(parent); ++row) {
                const QModelIndex index = outline_->index(row, 0, parent);
                if (outline_->level(index) == level && grdFlex_->isExpanded(index)) {
                    grdFlex_->setExpanded(index, false);
                    collapsed = true;
                }
                visit(index);
            }
        };
        visit({});
        if (collapsed)
            return;
    }
}

// ---- Results ----

void frmTBCentral::showResults() {
    const std::optional<Mailing> mailing = outline_->mailingAt(selectedRow());
    shownMailing_ = mailing ? mailing->MailEventName : 0;
    if (!mailing) {
        lblTotals_->setText(QStringLiteral("Select a mailing to see its runs."));
        lblSchedule_->clear();
        runs_->setRuns({});
        showRun(-1);
        return;
    }
    const QList<MailRuns::Run> runs = MailRuns::of(mailing->MailEventName);
    const MailRuns::Totals totals = MailRuns::totals(runs);
    lblTotals_->setText(QStringLiteral("Mailing %1: sent %2, failed %3 over %4 run(s)")
                            .arg(mailing->MailEventName)
                            .arg(totals.Passed)
                            .arg(totals.Failed)
                            .arg(runs.size()));
    const std::optional<Schedules::Schedule> schedule = Schedules::find(mailing->MailEventName);
    if (!schedule || !schedule->date.isValid()) {
        lblSchedule_->setText(QStringLiteral("Not scheduled"));
    } else {
        lblSchedule_->setText(QStringLiteral("Scheduled for %1, %2")
                                  .arg(schedule->dueAt().toString(QStringLiteral("yyyy-MM-dd HH:mm")),
                                       schedule->MailingSent ? QStringLiteral("carried out")
                                       : schedule->Active    ? QStringLiteral("active")
                                                             : QStringLiteral("not active")));
    }
    runs_->setRuns(runs);
    if (runs.isEmpty()) {
        showRun(-1);
        return;
    }
    // The latest run, unless another was chosen.
    tblRuns_->selectRow(int(runs.size()) - 1);
    showRun(int(runs.size()) - 1);
}

void frmTBCentral::showRun(int row) {
    QChart* chart = chtRun_->chart();
    chart->removeAllSeries();
    for (QAbstractAxis* axis : chart->axes()) {
        chart->removeAxis(axis);
        delete axis;
    }
    if (row < 0 || row >= runs_->runs().size()) {
        chart->setTitle(shownMailing_ ? QStringLiteral("No runs yet") : QString());
        return;
    }
    const MailRuns::Run& run = runs_->runs().at(row);
    chart->setTitle(QStringLiteral("Run %1: messages per minute").arg(run.RunID));
    auto* passed = new QLineSeries;
    passed->setName(QStringLiteral("Passed"));
    passed->setObjectName(QStringLiteral("serPassed"));
    auto* failed = new QLineSeries;
    failed->setName(QStringLiteral("Failed"));
    failed->setObjectName(QStringLiteral("serFailed"));
    qint64 most = 0;
    const QList<MailRuns::Minute> minutes = MailRuns::perMinute(MailRuns::slices(run.RunID));
    for (const MailRuns::Minute& minute : minutes) {
        passed->append(minute.minute + 1, double(minute.Passed));
        failed->append(minute.minute + 1, double(minute.Failed));
        most = std::max({most, minute.Passed, minute.Failed});
    }
    for (QLineSeries* series : {passed, failed}) {
        series->setPointsVisible(true);
        chart->addSeries(series);
    }
    auto* x = new QValueAxis;
    x->setTitleText(QStringLiteral("Minute of the run"));
    x->setLabelFormat(QStringLiteral("%d"));
    x->setRange(1, std::max<qsizetype>(2, minutes.size()));
    x->setTickCount(int(std::min<qsizetype>(std::max<qsizetype>(2, minutes.size()), 11)));
    auto* y = new QValueAxis;
    y->setTitleText(QStringLiteral("Messages"));
    y->setLabelFormat(QStringLiteral("%d"));
    y->setRange(0, std::max<qint64>(1, most + most / 10));
    y->applyNiceNumbers();
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    for (QLineSeries* series : {passed, failed}) {
        series->attachAxis(x);
        series->attachAxis(y);
    }
}

// ---- Mailings ----

qint32 frmTBCentral::PrepareMailingUpdatingInterface(const QString& group, const QString& list,
                                                     const QString& message, const QString& options) {
    const qint32 id = Mailings::PrepareMailing(group, list, message, options);
    if (id == 0)
        return 0;
    cmdSSSendTamberlyn_->setEnabled(true);
    cmdSSCreateMailing_->setEnabled(true);
    cmdScheduler_->setEnabled(true);
    refreshOutline();
    SelectOutlineRow(id);
    return id;
}

void frmTBCentral::SendTamberlynIfPossible() {
    cancelSend_ = false;
    const std::optional<Mailing> row = outline_->mailingAt(selectedRow());
    if (!row) {
        inform(selectMessageFirstText());
        return;
    }
    // The mailing as stored now: another process may have changed or deleted it.
    const std::optional<Mailing> mailing = Mailings::find(row->MailEventName);
    if (!mailing) {
        inform(notFoundText());
        return;
    }
    if (!Mailings::checkList(desk_.prompter(), *mailing))
        return;
    const QPointer<frmTBCentral> self(this);
    MailingLauncher::launch(desk_, mailing->MailEventName, [self] {
        if (self)
            self->SetCancelSendFlagForTBCentral(true);
    });
}

void frmTBCentral::openScheduler() {
    const std::optional<Mailing> mailing = outline_->mailingAt(selectedRow());
    if (!mailing) {
        inform(selectMessageFirstText());
        return;
    }
    auto* scheduler = new frmScheduler(desk_.prompter(), desk_.frame());
    scheduler->setAttribute(Qt::WA_DeleteOnClose);
    if (!scheduler->LoadValuesByID(mailing->MailEventName)) {
        delete scheduler;
        return;
    }
    scheduler->open();
}

// ---- Row commands ----

void frmTBCentral::openSelected() {
    const QModelIndex row = selectedRow();
    const QString name = outline_->nameAt(row);
    switch (outline_->level(row)) {
    case MailingOutline::GroupLevel:
        grdFlex_->setExpanded(row, !grdFlex_->isExpanded(row));
        break;
    case MailingOutline::ListLevel:
        if (!Mailings::exists(Mailings::Part::List, name))
            inform(QStringLiteral("Cannot open '") + name +
                   QStringLiteral("'.  This List has been removed from Tamberlyn."));
        else if (openers_.openList)
            openers_.openList(name);
        break;
    case MailingOutline::MailingLevel:
        if (!Mailings::exists(Mailings::Part::Message, name))
            inform(QStringLiteral("Cannot open '") + name +
                   QStringLiteral("'.  This Message has been removed from Tamberlyn."));
        else if (openers_.openMessage)
            openers_.openMessage(name);
        break;
    default:
        break;
    }
}

void frmTBCentral::copySelectedToChoices() {
    const QModelIndex row = selectedRow();
    const int level = outline_->level(row);
    if (level < 0)
        return;
    const QString group = outline_->groupOf(row);
    const QString list = outline_->listOf(row);
    const std::optional<Mailing> mailing = outline_->mailingAt(row);
    const auto refuse = [this](const QString& name, const char* why) {
        inform(QStringLiteral("Cannot select '") + name + QStringLiteral("' for a new mailing.  ") +
               QString::fromLatin1(why));
    };
    // Every check before anything is chosen.
    if (!Mailings::exists(Mailings::Part::Group, group))
        return refuse(group, "This Tamberlyn has been removed.");
    if (level >= MailingOutline::ListLevel && !Mailings::exists(Mailings::Part::List, list))
        return refuse(list, "This List has been removed from Tamberlyn.");
    if (mailing && !Mailings::exists(Mailings::Part::Message, mailing->MessageName))
        return refuse(mailing->MessageName, "This Message has been removed from Tamberlyn.");
    static_cast<ChoiceBox*>(cboTamberlyn_)->choose(group);
    if (level >= MailingOutline::ListLevel)
        static_cast<ChoiceBox*>(cboList_)->choose(list);
    if (mailing) {
        static_cast<ChoiceBox*>(cboMessage_)->choose(mailing->MessageName);
        if (Mailings::exists(Mailings::Part::Options, mailing->Profile))
            static_cast<ChoiceBox*>(cboMailOptions_)->choose(mailing->Profile);
    }
}

void frmTBCentral::showSelectedOptions() {
    const std::optional<Mailing> mailing = outline_->mailingAt(selectedRow());
    if (!mailing || !Mailings::exists(Mailings::Part::Options, mailing->Profile)) {
        inform(QStringLiteral("Cannot display the Mailing Options.  The selected item does not have a "
                              "valid Mailing Options defined for it."));
        return;
    }
    DeliveryOptionsWindows::OpenTBProfile(desk_, mailing->Profile, 1);
}

void frmTBCentral::deleteSelectedMailing() {
    const std::optional<Mailing> mailing = outline_->mailingAt(selectedRow());
    if (!mailing) {
        inform(QStringLiteral("Cannot delete the mailing.  The selected item is not a mail message."));
        return;
    }
    Mailings::deleteMailing(desk_.prompter(), mailing->MailEventName, mailing->MessageName);
}

void frmTBCentral::deleteSelectedGroup() {
    const QModelIndex row = selectedRow();
    if (!row.isValid())
        return;
    const QString group = outline_->groupOf(row);
    if (desk_.prompter().ask(AppTitle(),
                             QStringLiteral("Are you sure you wish to delete the group '") + group +
                                 QStringLiteral("'?"),
                             Prompter::Buttons::YesNo, Prompter::Icon::Question) == Prompter::Answer::Yes)
        mdlTamberlynGroupOptions::DeleteTamberlynGroup(desk_.prompter(), group);
}
