// Saves a picture of every window into a folder, for people to look at (./run screenshots [DIR]). Each
// file is named by the window's object name; a window shown in several states adds "-state".
#include "app/ui/frmConfiguration.h"
#include "app/ui/mdiMain.h"
#include "core/AppSettings.h"
#include "core/ui/frmOpenDelete.h"
#include "core/ui/frmStatus.h"
#include "db/CentralDatabase.h"
#include "db/CentralSchema.h"
#include "db/DataTank.h"
#include "db/SampleData.h"
#include "harvest/ui/frmEmailWizard.h"
#include "harvest/ui/frmQueryUserReName.h"
#include "harvest/ui/frmSearchOptions.h"
#include "import/IsolatedReader.h"
#include "import/ui/frmDBImportWiz.h"
#include "lists/ListResync.h"
#include "lists/ui/ResyncLists.h"
#include "lists/ui/frmAdvancedSQLQuery.h"
#include "lists/ui/frmFileDisplay.h"
#include "lists/ui/frmFindReplace.h"
#include "lists/ui/frmList.h"
#include "lists/ui/frmListOperations.h"
#include "lists/ui/frmSQLQuery.h"
#include "lists/ui/frmTableView.h"
#include "mailbox/SearchCategories.h"
#include "mailbox/ui/frmPOPConfirmation.h"
#include "mailbox/ui/frmPOPWizard.h"
#include "mailings/MailRuns.h"
#include "mailings/Mailings.h"
#include "mailings/Schedules.h"
#include "mailings/mdlTamberlynGroupOptions.h"
#include "mailings/ui/frmScheduler.h"
#include "mailings/ui/frmTBCentral.h"
#include "mailings/ui/frmTBProfileWiz.h"
#include "mailings/ui/frmTBWalkWiz.h"
#include "mailings/ui/frmTamberlynGroupOptions.h"
#include "messages/MessageStore.h"
#include "messages/ui/BodyTarget.h"
#include "messages/ui/MessageWindows.h"
#include "messages/ui/frmMessageEdit.h"
#include "messages/ui/frmMessageFindReplace.h"
#include "messages/ui/frmMessageGreeting.h"
#include "messages/ui/frmMessagePreview.h"
#include "messages/ui/frmSpellCheck.h"
#include "send/SendFixture.h"
#include "send/ui/frmSendAgainWarning.h"
#include "send/ui/frmSendErrorNoAddr.h"
#include "send/ui/frmSendMail.h"
#include "support/TestHome.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTextStream>
#include <QTreeWidget>

namespace {

QString folder;
int failures = 0;

// Saves picture (the window itself, or the frame it sits in) under window's object name.
void save(QWidget* window, const QString& state = {}, QWidget* picture = nullptr) {
    if (!picture)
        picture = window;
    picture->show();
    QCoreApplication::processEvents();
    const QString name = window->objectName() + (state.isEmpty() ? QString() : u'-' + state);
    const QString path = folder + u'/' + name + QStringLiteral(".png");
    if (name.isEmpty() || !picture->grab().save(path)) {
        QTextStream(stderr) << "Could not save " << path << Qt::endl;
        ++failures;
    }
}

QString makeCustomerList(TestHome& home) {
    const QString temp = DataTank::CreateBlankDatabase();
    {
        db::Database list = db::Database::open(temp);
        db::Transaction transaction(list);
        const QStringList first = {"Ann", "Bob", "Carla", "Dmitri", "Eve", "Farid", "Grace", "Hiro", "Ines"};
        const QStringList last = {"Archer", "Baker", "Cruz", "Dahl", "Evans", "Fox", "Gray", "Hale", "Ito"};
        for (int i = 0; i < 60; ++i)
            list.exec(QStringLiteral("INSERT INTO AddressList (EAddress, FirstName, LastName, Keyword1) "
                                     "VALUES (?, ?, ?, ?)"),
                      {QStringLiteral("%1.%2%3@example.org")
                           .arg(first[i % 9].toLower(), last[i % 9].toLower())
                           .arg(i),
                       first[i % 9], last[i % 9],
                       i % 3 ? QStringLiteral("customer") : QStringLiteral("press")});
        transaction.commit();
    }
    DataTank::SaveListAs(temp, QStringLiteral("Customers"), QStringLiteral("Our customers"), false,
                         home.prompter);
    return QStringLiteral("Customers");
}

void desktopWindows(TestHome& home) {
    const QString name = makeCustomerList(home);
    mdiMain window(home.prompter);
    window.resize(1100, 700);
    window.show();
    if (!window.ShowListFromName(name)) {
        ++failures;
        return;
    }
    frmList* list = window.activeList();
    auto* frame = qobject_cast<QMdiSubWindow*>(list->parentWidget());
    frame->resize(820, 480);
    window.setStatusText(QStringLiteral("Ready"));
    save(&window, QStringLiteral("with-list"));
    save(list, {}, frame);

    frmFindReplace find(list, true, &window);
    save(&find);

    if (auto* table = window.showTable(list->path(), QStringLiteral("AddressList"), name)) {
        table->parentWidget()->resize(700, 360);
        save(table, {}, table->parentWidget());
    } else {
        ++failures;
    }

    frmSQLQuery query(QStringLiteral("AddressList"), frmSQLQuery::tableColumns(list->path()), &window);
    save(&query);
    frmAdvancedSQLQuery advanced(QStringLiteral("\"Keyword1\" = 'press'"), &window);
    save(&advanced);

    const QList<frmListOperations::Choice> choices = frmListOperations::registeredChoices();
    for (const auto& [operation, state] :
         {std::pair{frmListOperations::Operation::Merge, "merge"},
          std::pair{frmListOperations::Operation::Clean, "clean"},
          std::pair{frmListOperations::Operation::Duplicates, "duplicates"}}) {
        frmListOperations dialog(operation, choices, home.prompter, 1, &window);
        save(&dialog, QString::fromLatin1(state));
    }
    list->closeQuietly();
}

void dialogs(TestHome& home) {
    frmConfiguration options(home.prompter);
    save(&options);

    const QList<frmOpenDelete::Entry> entries = {
        {QStringLiteral("Customers"), QStringLiteral("Our customers")},
        {QStringLiteral("Press"), QStringLiteral("Journalists")}};
    for (const auto& [mode, state] :
         {std::pair{frmOpenDelete::Mode::Open, "open"}, std::pair{frmOpenDelete::Mode::Delete, "delete"},
          std::pair{frmOpenDelete::Mode::Save, "save"}}) {
        frmOpenDelete dialog(mode, frmOpenDelete::listTexts(mode), entries, home.prompter);
        save(&dialog, QString::fromLatin1(state));
    }

    ResyncLists missing(ListResync::Phase::Missing, {QStringLiteral("Old List.mdb")}, home.prompter);
    save(&missing, QStringLiteral("missing"));
    ResyncLists extra(ListResync::Phase::Extra, {QStringLiteral("New.mdb"), QStringLiteral("Copied.mdb")},
                      home.prompter);
    save(&extra, QStringLiteral("extra"));

    QFile text(home.file(QStringLiteral("notes.txt")));
    if (text.open(QIODevice::WriteOnly)) {
        text.write("Harvested from mailbox export.\nann@example.org\nbob@example.org\n");
        text.close();
    }
    frmFileDisplay display(text.fileName());
    save(&display);
}

// The message editor on each body view, and the message forms of the open, delete and save dialog.
void messageWindows(TestHome& home) {
    MessageRecord letter;
    letter.MessageName = QStringLiteral("Spring News");
    letter.MessageDescription = QStringLiteral("The spring letter to customers");
    letter.Subject = QStringLiteral("Spring news for <<FirstName>>");
    letter.SendType = 2;
    letter.From = QStringLiteral("Tamberlyn Garden Shop");
    letter.Attachments = QStringLiteral("/home/ann/Catalogue.pdf");
    letter.MailingList = QStringLiteral("Customers");
    letter.MessageText =
        QStringLiteral("Spring is here, and so is our new catalogue.\r\n\r\nSee you soon,\r\nAnn");
    letter.HTMLText = QStringLiteral(
        "<html>\n<head><style>h1 { color: #2a6f2a }</style></head>\n<body>\n<!-- greeting goes here -->\n"
        "<h1>Spring news</h1>\n<p>Dear &lt;&lt;FirstName&gt;&gt;,</p>\n<p>Spring is here, and so is our "
        "<b>new catalogue</b> &amp; price list.</p>\n<table border=1 cellpadding=4><tr><td>Roses</td>"
        "<td>&euro; 4.50</td></tr></table>\n<p>See you soon,<br>Ann</p>\n</body>\n</html>\n");
    MessageStore::ImportMessage(letter);
    MessageRecord other = letter;
    other.MessageName = QStringLiteral("Autumn Sale");
    other.MessageDescription = QStringLiteral("Twenty per cent off");
    MessageStore::ImportMessage(other);

    mdiMain window(home.prompter);
    window.resize(1000, 720);
    window.show();
    frmMessageEdit* editor = window.messages().OpenMessageByName(letter.MessageName);
    if (!editor) {
        ++failures;
        return;
    }
    if (auto* sub = qobject_cast<QMdiSubWindow*>(editor->parentWidget()))
        sub->showMaximized();
    GreetingSettings personal = SetGreetingManagerDefaultValues();
    personal.GreetingType = 1;
    editor->setGreeting(personal);
    for (const auto& [tab, state] :
         {std::pair{frmMessageEdit::PlainTextTab, "text"}, std::pair{frmMessageEdit::HtmlSourceTab, "source"},
          std::pair{frmMessageEdit::HtmlViewTab, "rendered"}}) {
        editor->showTab(tab);
        save(editor, QString::fromLatin1(state), &window);
    }
    editor->closeQuietly();

    QList<frmOpenDelete::Entry> entries;
    for (const MessageStore::MessageEntry& entry : MessageStore::MessageListing())
        entries.append({entry.name, entry.description});
    for (const auto& [mode, state] : {std::pair{frmOpenDelete::Mode::Open, "message-open"},
                                      std::pair{frmOpenDelete::Mode::Delete, "message-delete"},
                                      std::pair{frmOpenDelete::Mode::Save, "message-save"}}) {
        frmOpenDelete dialog(mode, MessageWindows::messageTexts(mode), entries, home.prompter);
        save(&dialog, QString::fromLatin1(state));
    }
}

// The greeting manager, find and replace, the spelling dialog, and the preview of the sample letter for
// each of its five recipients.
void messageTools(TestHome& home) {
    GreetingSettings greeting = SetGreetingManagerDefaultValues();
    greeting.GreetingType = 1;
    frmMessageGreeting greetingWindow(greeting, home.prompter, nullptr);
    save(&greetingWindow);

    QPlainTextEdit body(QStringLiteral("Dear customer,\nthe autumn catalogue is out."));
    TextEditTarget target(&body);
    frmMessageFindReplace find(home.prompter, nullptr);
    find.setTarget(&target);
    find.showReplace(true);
    find.findChild<QLineEdit*>(QStringLiteral("txtFind"))->setText(QStringLiteral("autumn"));
    find.findChild<QLineEdit*>(QStringLiteral("txtReplace"))->setText(QStringLiteral("winter"));
    find.findChild<QPushButton*>(QStringLiteral("cmdFind"))->click();
    save(&find);

    QString text = QStringLiteral("Our new catalog is reddy for you.");
    QWidget spellParent;
    frmSpellCheck::checkFields({SpellField{QStringLiteral("Text"), [&text] { return text; },
                                           [&text](int start, int length, const QString& replacement) {
                                               text.replace(start, length, replacement);
                                           }}},
                               home.prompter, &spellParent);
    if (auto* spell = spellParent.findChild<frmSpellCheck*>(QStringLiteral("frmSpellCheck")))
        save(spell);

    {
        db::Database central = CentralDatabase::open();
        SampleData::write(central, home.prompter);
    }
    const std::optional<MessageRecord> sample =
        MessageStore::ReadMessage(QString::fromLatin1(SampleData::MessageName));
    QWidget previewParent;
    frmMessagePreview* preview =
        sample ? frmMessagePreview::showPreview(*sample, home.prompter, &previewParent) : nullptr;
    if (!preview) {
        QTextStream(stderr) << "No preview of the sample letter" << Qt::endl;
        ++failures;
        return;
    }
    preview->resize(760, 820);
    // The letter as it looks, with its logo.
    if (auto* tabs = preview->findChild<QTabWidget*>(QStringLiteral("tabView")))
        tabs->setCurrentIndex(tabs->count() - 1);
    for (int n = 1; n <= 5; ++n) {
        save(preview, QString::number(n));
        preview->findChild<QPushButton*>(QStringLiteral("cmdNext"))->click();
    }
}

// Each page of a wizard, named "-step1" and on; ready(page) prepares a page before its picture.
void saveSteps(frmWizard& wizard, const std::function<void(int page)>& ready = {}) {
    for (int page = 0; page < wizard.pageCount(); ++page) {
        if (ready)
            ready(page);
        save(&wizard, QStringLiteral("step") + QString::number(page + 1));
        if (page + 1 < wizard.pageCount() && !wizard.goNext()) {
            QTextStream(stderr) << wizard.objectName() << " stayed on page " << page + 1 << Qt::endl;
            ++failures;
            return;
        }
    }
}

void harvestWindows(TestHome& home) {
    QFile mailbox(home.file(QStringLiteral("Mailboxes/March.mbx")));
    if (mailbox.open(QIODevice::WriteOnly)) {
        for (int i = 0; i < 400; ++i)
            mailbox.write(QStringLiteral("From: Person %1 <person%1@example.org>\nSubject: Hello\n\nHi\n\n")
                              .arg(i)
                              .toUtf8());
        mailbox.close();
    }
    frmEmailWizard wizard(home.prompter, {});
    wizard.resize(620, 440);
    wizard.addSourceFile(home.file(QStringLiteral("notes.txt")));
    wizard.findChild<QWidget*>(QStringLiteral("optMailBox"))->setProperty("checked", true);
    wizard.addSourceFile(mailbox.fileName());
    saveSteps(wizard, [&](int page) {
        if (page != frmEmailWizard::BuildPage)
            return;
        QSignalSpy finished(&wizard.manager(), &AddrManager::buildFinished);
        wizard.findChild<QPushButton*>(QStringLiteral("cmdBuild"))->click();
        if (!finished.wait(20000))
            ++failures;
    });

    EmailSrcFileObj options;
    options.fileName = mailbox.fileName();
    options.SetDefaults();
    frmSearchOptions search(options);
    save(&search);

    frmQueryUserReName question(
        {QStringLiteral("No name was found but we may guess from \"_\" in the username. "
                        "Confirm the guess or extract a name manually if you can."),
         QStringLiteral("ann_lee@example.org"), QStringLiteral("ann_lee@example.org"), QStringLiteral("Ann"),
         QStringLiteral("Lee")});
    save(&question);

    frmStatus pop(QStringLiteral("POP Email Action Status Report"),
                  {QStringLiteral("POP Import Summary"),
                   {QStringLiteral("List Name"), QStringLiteral("Added")},
                   {{QStringLiteral("Customers"), QStringLiteral("12")},
                    {QStringLiteral("Press"), QStringLiteral("3")}}},
                  {QStringLiteral("OK")});
    save(&pop, QStringLiteral("pop"));
}

void importWindows(TestHome& home) {
    importer::IsolatedReader::setProgram(QStringLiteral(TAMBERLYN_EXECUTABLE));
    const QString csv = QStringLiteral(TAMBERLYN_FIXTURES_DIR "/import/text/utf8_comma/contacts.csv");
    frmDBImportWiz wizard(home.prompter, nullptr);
    const auto list = [&](const char* name) {
        return wizard.findChild<QListWidget*>(QString::fromLatin1(name));
    };
    saveSteps(wizard, [&](int page) {
        switch (page) {
        case frmDBImportWiz::TypePage:
            list("lstDBTypes")->setCurrentRow(importer::sourceTypeByCode(QStringLiteral("DBTEXTFILE")).index);
            break;
        case frmDBImportWiz::FilePage: {
            wizard.setFolder(QFileInfo(csv).absolutePath());
            const auto found = list("filSource")->findItems(QStringLiteral("contacts.csv"), Qt::MatchExactly);
            if (!found.isEmpty())
                list("filSource")->setCurrentItem(found.first());
            break;
        }
        case frmDBImportWiz::TablePage: {
            const auto found =
                list("lstTableFields")->findItems(QStringLiteral("First Name"), Qt::MatchExactly);
            if (!found.isEmpty())
                list("lstTableFields")->setCurrentItem(found.first());
            break;
        }
        case frmDBImportWiz::FieldsPage:
            wizard.assignField(frmDBImportWiz::EmailRole, QStringLiteral("E-mail"));
            wizard.assignField(frmDBImportWiz::FirstNameRole, QStringLiteral("First Name"));
            wizard.assignField(frmDBImportWiz::LastNameRole, QStringLiteral("Last Name"));
            if (auto* fields = wizard.findChild<QTreeWidget*>(QStringLiteral("lstFields")))
                for (int i = 0; i < fields->topLevelItemCount(); ++i)
                    if (fields->topLevelItem(i)->text(0) == u"Company" ||
                        fields->topLevelItem(i)->text(0) == u"City")
                        fields->topLevelItem(i)->setCheckState(0, Qt::Checked);
            break;
        case frmDBImportWiz::BuildPage: {
            wizard.findChild<QPushButton*>(QStringLiteral("cmdBuild"))->click();
            auto* build = wizard.findChild<importer::ImportBuild*>();
            QSignalSpy finished(build, &importer::ImportBuild::finished);
            if (!build || !finished.wait(20000))
                ++failures;
            break;
        }
        default:
            break;
        }
    });
    const importer::ImportSummary& summary = wizard.result().summary;
    frmStatus status(
        importer::ImportText::summaryTitle(),
        {importer::ImportText::summaryTitle(), importer::summaryColumns(), importer::summaryRows(summary)},
        {QStringLiteral("OK")});
    status.resize(720, 400);
    save(&status, QStringLiteral("import"));
}

void mailboxWindows(TestHome& home) {
    SearchCategories::addPhrase(SearchCategories::defaultsName(), QStringLiteral("subscribe"));
    SearchCategories::addPhrase(SearchCategories::defaultsName(), QStringLiteral("join list"));
    SearchCategories::addCategory(QStringLiteral("Newsletter"), home.prompter);
    SearchCategories::addPhrase(QStringLiteral("Newsletter"), QStringLiteral("sign me up"));
    SearchCategories::setChecked(QStringLiteral("Newsletter"), QStringLiteral("sign me up"), false);
    frmPOPWizard wizard(PopWizardRun::Format::Subscription, home.prompter, nullptr);
    saveSteps(wizard, [&](int page) {
        if (page == frmPOPWizard::AccountPage) {
            wizard.findChild<QLineEdit*>(QStringLiteral("txtPOPHostName"))
                ->setText(QStringLiteral("pop.example.org"));
            wizard.findChild<QLineEdit*>(QStringLiteral("txtUserName"))->setText(QStringLiteral("lists"));
            wizard.findChild<QLineEdit*>(QStringLiteral("txtPassword"))->setText(QStringLiteral("secret"));
        } else if (page == frmPOPWizard::ListsPage) {
            auto* lists = wizard.findChild<QListWidget*>(QStringLiteral("lstApplicableLists"));
            if (lists->count() > 0)
                lists->item(0)->setCheckState(Qt::Checked);
        }
    });
    frmPOPConfirmation confirmation(
        {PopWizardRun::confirmationTitle(PopWizardRun::Format::Subscription),
         QStringLiteral(" Unique e-mail addresses found:  3\nMessages will not be "
                        "deleted from the server."),
         {QStringLiteral("ann@example.org"), QStringLiteral("bob@example.org"),
          QStringLiteral("cleo@example.org")}});
    save(&confirmation);
}

// The send dialog after a run to a local outbox that refuses one recipient, and the send warnings.
void sendWindows(TestHome& home) {
    using namespace SendFixture;
    QTemporaryDir outDir;
    OutboxOptions refusing;
    refusing.refusePattern = QStringLiteral("^nobody@");
    const std::unique_ptr<Outbox> outbox = startOutbox(outDir.path(), refusing);
    if (!outbox) {
        ++failures;
        return;
    }
    appSettings().SMTPPort = outbox->port();
    QStringList addresses = numbered(QStringLiteral("reader%1@example.org"), 1, 30, 2);
    addresses.insert(6, QStringLiteral("nobody@example.org"));
    const qint32 id = makeListAndMessage(home, QStringLiteral("Newsletter"), addresses) &&
                              plainOptions(QStringLiteral("Monthly")).storeMEP()
                          ? prepareMailing(home, QStringLiteral("Newsletter"), QStringLiteral("Newsletter"),
                                           QStringLiteral("Monthly"))
                          : 0;
    frmSendMail dialog(home.prompter, id, MailRuns::Trigger::Desktop, true);
    dialog.show();
    dialog.cmdSend_Click(0);
    if (!QTest::qWaitFor([&dialog] { return dialog.state() == frmSendMail::Stopped; }, 30000))
        ++failures;
    dialog.refresh();
    save(&dialog);

    frmSendAgainWarning warning({});
    warning.SetupAndShowSendAgainWarning(Mailings::find(id).value_or(Mailing{}));
    save(&warning);
    frmSendErrorNoAddr noAddresses(home.prompter, QStringLiteral("Monthly"));
    save(&noAddresses);
}

void mailingWindows(TestHome& home) {
    const QString list = QStringLiteral("Customers"); // made for the list windows
    for (const char* name : {"March Newsletter", "April Newsletter", "Launch Announcement"}) {
        MessageRecord message;
        message.MessageName = QString::fromLatin1(name);
        message.Subject = message.MessageName;
        message.MessageText = QStringLiteral("Hello <<FirstName>>,\r\n");
        MessageStore::ImportMessage(message);
    }
    const QString options = QString::fromLatin1(DefaultDeliveryOptionsName);
    mdlTamberlynGroupOptions::CreateTamberlynGroup(home.prompter, QStringLiteral("Spring Newsletter"),
                                                   QStringLiteral("Monthly letters"));
    mdlTamberlynGroupOptions::CreateTamberlynGroup(home.prompter, QStringLiteral("Product Launch"), {});
    const qint32 march = Mailings::PrepareMailing(QStringLiteral("Spring Newsletter"), list,
                                                  QStringLiteral("March Newsletter"), options);
    const qint32 april = Mailings::PrepareMailing(QStringLiteral("Spring Newsletter"), list,
                                                  QStringLiteral("April Newsletter"), options);
    const qint32 launch = Mailings::PrepareMailing(QStringLiteral("Product Launch"), list,
                                                   QStringLiteral("Launch Announcement"), options);
    // Two runs of the March letter: a short one stopped, then the rest over seven minutes.
    const QDateTime start(QDate(2026, 3, 2), QTime(9, 0));
    const qint32 first = MailRuns::begin(march, MailRuns::Trigger::Desktop, start);
    MailRuns::addSlice(first, 0, 40, 1);
    MailRuns::finish(first, start.addSecs(9), 40, 1, MailRuns::Outcome::Stopped);
    const qint32 second = MailRuns::begin(march, MailRuns::Trigger::Schedule, start.addDays(1));
    qint64 passed = 0;
    qint64 failed = 0;
    for (int step = 0; step < 42; ++step) {
        const qint64 ok = 30 + (step * 7) % 23 - (step > 30 ? 18 : 0);
        const qint64 refused = step % 5 == 0 ? 2 : step % 7 == 0 ? 1 : 0;
        MailRuns::addSlice(second, step, ok, refused);
        passed += ok;
        failed += refused;
    }
    MailRuns::finish(second, start.addDays(1).addSecs(420), passed, failed, MailRuns::Outcome::Completed);
    Mailings::ReturnMailResults(home.prompter, march, qint32(passed), qint32(failed),
                                start.addDays(1).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    Mailings::ReturnMailResults(home.prompter, launch, 58, 2, QStringLiteral("2026-03-10 14:30:00"));
    Schedules::setClock([] { return QDateTime(QDate(2026, 4, 1), QTime(8, 0)); });
    Schedules::LoadValuesByID(april, Schedules::now());

    mdiMain window(home.prompter);
    window.resize(1280, 780);
    window.show();
    window.dispatch(QStringLiteral("id_TBCentral"));
    if (frmTBCentral* centre = frmTBCentral::of(window)) {
        qobject_cast<QMdiSubWindow*>(centre->parentWidget())->showMaximized();
        centre->SelectOutlineRow(march);
        save(centre, {}, &window);
    } else {
        ++failures;
    }
    frmScheduler scheduler(home.prompter);
    scheduler.LoadValuesByID(april);
    save(&scheduler);
    Schedules::setClock({});
    frmTamberlynGroupOptions groups({});
    save(&groups);
}

void mailingWizards(TestHome& home) {
    mdlTamberlynGroupOptions::CreateTamberlynGroup(home.prompter, QStringLiteral("Spring"),
                                                   QStringLiteral("The spring sale"));
    const MessageStore::NewMessage message = MessageStore::CreateNewMessage();
    MessageStore::RenameMessage(message.name, QStringLiteral("Spring Sale"), QString(), true, home.prompter);

    frmTBProfileWiz options(home.prompter, nullptr);
    options.NewProfile();
    saveSteps(options);
    options.ForceUnload();

    mdiMain window(home.prompter);
    frmTBWalkWiz mailing(window, nullptr);
    const auto choose = [&mailing](const char* option, const char* box, const QString& text) {
        mailing.findChild<QAbstractButton*>(QString::fromLatin1(option))->setChecked(true);
        auto* combo = mailing.findChild<QComboBox*>(QString::fromLatin1(box));
        combo->setCurrentIndex(combo->findText(text));
    };
    saveSteps(mailing, [&](int page) {
        if (page == frmTBWalkWiz::GroupPage)
            choose("optSSExistingTB", "cmbTamberlyn", QStringLiteral("Spring"));
        else if (page == frmTBWalkWiz::ListPage)
            choose("optSSSelectList", "cmbAddrList", QStringLiteral("Customers"));
        else if (page == frmTBWalkWiz::MessagePage)
            choose("optSSExistingMsg", "cmbMessageName", QStringLiteral("Spring Sale"));
    });
    home.prompter.answerAlways(frmTBWalkWiz::exitText(), Prompter::Answer::Yes);
    mailing.close();
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    folder = QDir(arguments.size() > 1 ? arguments[1] : QStringLiteral("build/screenshots")).absolutePath();
    if (!QDir().mkpath(folder)) {
        QTextStream(stderr) << "Cannot make the folder " << folder << Qt::endl;
        return 1;
    }
    TestHome home;
    if (!home.start()) {
        QTextStream(stderr) << "The program did not start in a new folder" << Qt::endl;
        return 1;
    }
    desktopWindows(home);
    dialogs(home);
    messageWindows(home);
    messageTools(home);
    harvestWindows(home);
    importWindows(home);
    mailboxWindows(home);
    sendWindows(home);
    mailingWindows(home);
    mailingWizards(home);
    QTextStream(stdout) << "Pictures in " << folder << Qt::endl;
    return failures == 0 ? 0 : 1;
}
