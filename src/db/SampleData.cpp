#include "db/SampleData.h"

#include "core/AppInfo.h"
#include "core/AppSettings.h"
#include "core/ErrorLog.h"
#include "db/CentralSchema.h"
#include "db/TypeMapping.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <filesystem>
#include <sqlite3.h>

namespace SampleData {

namespace {

// The folder the HTML letter was written in; its logo reference is moved to the templates folder.
const QString AuthoringFolder = QStringLiteral("C:\\Tamberlyn Samples\\");

// Fictional contacts in a top-level domain that does not exist, so no mail can reach anybody.
const QList<QStringList>& contacts() {
    static const QList<QStringList> rows = {
        {"maren.holloway@brightwater-optics.invalid", "Maren", "Holloway", "Purchasing Manager", "",
         "3/14/24", "", "", "Brightwater Optics", "118 Larch Street", "Fairhaven", "OR", "97999", "USA",
         "QuillPro 500 Desk Set", "Optics"},
        {"devon.okafor@kettleridge-farms.invalid", "Devon", "Okafor", "Operations Director", "", "11/2/23",
         "", "", "Kettleridge Farms", "42 Old Mill Road", "Cedar Hollow", "VT", "05999", "USA",
         "Inkwell Classic", "Agriculture"},
        {QStringLiteral("sinead.odalaigh@ravensmoor-library.invalid"), QStringLiteral("Sinéad"),
         QStringLiteral("O'Dálaigh"), QStringLiteral("Chief Librarian"), QStringLiteral(""),
         QStringLiteral("7/9/24"), QStringLiteral(""), QStringLiteral(""),
         QStringLiteral("Ravensmoor Public Library"), QStringLiteral("7 Abbey Lane"),
         QStringLiteral("Port Glenna"), QStringLiteral("ME"), QStringLiteral("04999"), QStringLiteral("USA"),
         QStringLiteral("Archive Pen Set"), QStringLiteral("Education")},
        {"luis.pereira@tidewater-freight.invalid", "Luis", "Pereira", "Office Manager", "", "1/27/24", "", "",
         "Tidewater Freight Co.", "900 Harbor Boulevard", "Saltmarsh", "SC", "29999", "USA",
         "QuillPro 500 Desk Set", "Logistics"},
        {"hana.whitcombe@copperline-studio.invalid", "Hana", "Whitcombe", "Creative Director", "", "5/30/24",
         "", "", "Copperline Design Studio", "15 Foundry Court", "Ashby Falls", "CO", "80999", "USA",
         "Calligraphy Starter Kit", "Design"},
    };
    return rows;
}

QString resourceText(const QString& name) {
    QFile file(QStringLiteral(":/samples/") + name);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

db::DbError fileError(const QString& text) {
    return {SQLITE_IOERR, text};
}

void setError(db::DbError* error, const db::DbError& value) {
    if (error)
        *error = value;
}

std::filesystem::path nativePath(const QString& path) {
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

void report(Prompter& prompter, const QString& what, const db::DbError& error) {
    LogError(QStringLiteral("WriteSampleData in DataTank"), {error.number, error.text});
    prompter.inform(AppTitle(), what + QStringLiteral("\n") + error.text, Prompter::Icon::Exclamation);
}

} // namespace

QString replaceListQuestion() {
    return QStringLiteral(
        "Is it ok for Tamberlyn to delete the sample mailing list, 'Sample - Formal "
        "Letter.mdb', from your Addresslist folder?  If so a new file will be created for you.");
}

QStringList listColumns() {
    return {"EAddress", "FirstName", "LastName", "Title", "Sent", "Date",    "Keyword1", "Keyword2",
            "Company",  "Address",   "City",     "State", "Zip",  "Country", "Product",  "Industry"};
}

QByteArray logoImage() {
    QFile file(QStringLiteral(":/samples/") + QString::fromLatin1(LogoFileName));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString htmlLetter(const QString& templatesFolder) {
    QString folder = templatesFolder;
    if (!folder.endsWith(u'/') && !folder.endsWith(u'\\'))
        folder += u'/';
    return resourceText(QStringLiteral("formal_letter.html")).replace(AuthoringFolder, folder);
}

QString textLetter() {
    return resourceText(QStringLiteral("formal_letter.txt"));
}

bool writeLogo(const QString& templatesFolder, db::DbError* error) {
    const QString path = templatesFolder + QString::fromLatin1(LogoFileName);
    if (QFileInfo::exists(path))
        return true;
    const QByteArray image = logoImage();
    QSaveFile file(path);
    if (image.isEmpty() || !file.open(QIODevice::WriteOnly) || file.write(image) != image.size() ||
        !file.commit()) {
        setError(error, fileError(QStringLiteral("Could not write ") + path + QStringLiteral(": ") +
                                  file.errorString()));
        return false;
    }
    return true;
}

bool createSampleList(const QString& path, db::DbError* error) {
    // Built beside the target so that a failure leaves any existing file as it was.
    const QString building = path + QStringLiteral(".part");
    QFile::remove(building);
    bool ok = false;
    {
        db::Database list = db::Database::create(building, error);
        if (!list.isOpen())
            return false;
        QStringList columns;
        for (const QString& name : listColumns()) {
            QString column = db::quoteName(name) + u' ' + db::sqlType(db::EngineType::Text, 255);
            if (name == QLatin1String("EAddress"))
                column += QStringLiteral(" NOT NULL ") + db::notEmptyCheck(name);
            columns << column;
        }
        columns << QStringLiteral("CONSTRAINT \"EAddress\" PRIMARY KEY (\"EAddress\")");
        db::Transaction transaction(list);
        ok = list.exec(QStringLiteral("CREATE TABLE \"AddressList\" (") + columns.join(QStringLiteral(", ")) +
                           u')',
                       {}, error);
        const QString insert = CentralSchema::insertSql(QStringLiteral("AddressList"), listColumns());
        for (const QStringList& contact : contacts()) {
            if (!ok)
                break;
            QVariantList values;
            for (const QString& value : contact)
                values << (value.isNull() ? QStringLiteral("") : value); // empty text, not NULL
            ok = list.exec(insert, values, error);
        }
        ok = ok && transaction.commit(error);
    }
    if (ok) {
        std::error_code code;
        std::filesystem::rename(nativePath(building), nativePath(path), code);
        if (code) {
            setError(error, fileError(QStringLiteral("Could not replace ") + path + QStringLiteral(": ") +
                                      QString::fromStdString(code.message())));
            ok = false;
        }
    }
    if (!ok)
        QFile::remove(building);
    return ok;
}

bool insertSampleRows(db::Database& central, const QString& templatesFolder, db::DbError* error) {
    const QString group = QString::fromLatin1(GroupName);
    const QString list = QString::fromLatin1(ListName);
    const QString message = QString::fromLatin1(MessageName);
    const auto columnsOf = [](const char* table) {
        return CentralSchema::columnNames(*CentralSchema::table(QString::fromLatin1(table)));
    };
    const auto insert = [&](const char* table, const QStringList& columns, const QVariantList& values) {
        return central.exec(CentralSchema::insertSql(QString::fromLatin1(table), columns), values, error);
    };
    const QVariant empty = QStringLiteral("");
    const QVariant none;

    db::Transaction transaction(central);
    bool ok = insert("Tamberlyn", columnsOf("Tamberlyn"), {group, QStringLiteral("Sample Tamberlyn Group")});
    ok = ok && insert("List", columnsOf("List"),
                      {list, QString::fromLatin1(ListFileName), QStringLiteral("SAMPLE"), empty, empty, empty,
                       empty, empty, empty, empty, empty, empty});
    ok = ok && insert("Message", columnsOf("Message"),
                      {message,
                       QStringLiteral("A Sample Message Using the Formal Template"),
                       none,
                       QStringLiteral("Tamberlyn HTML"),
                       2,
                       htmlLetter(templatesFolder),
                       textLetter(),
                       empty,
                       list,
                       db::yesNo(true),
                       QStringLiteral(" <<FirstName>> <<LastName>> <<Eaddress>>"),
                       QStringLiteral("Dear"),
                       QStringLiteral(":"),
                       db::yesNo(false),
                       db::yesNo(true),
                       db::yesNo(true),
                       1,
                       -1,
                       empty,
                       empty,
                       db::yesNo(true),
                       db::yesNo(true),
                       empty,
                       QStringLiteral("Harrowgate Quill Supply"),
                       empty,
                       empty});
    ok = ok && insert("MailEvent", {"TamberlynName", "ListName", "MessageName", "Profile"},
                      {group, list, message, QString::fromLatin1(DefaultDeliveryOptionsName)});
    return ok && transaction.commit(error);
}

bool write(db::Database& central, Prompter& prompter) {
    const AppFolders& folders = appFolders();
    db::DbError error;
    if (!writeLogo(folders.TemplatesFolder, &error))
        report(prompter, QStringLiteral("The sample logo could not be written."), error);

    const QString listPath = folders.AddressListsFolder + QString::fromLatin1(ListFileName);
    const bool replace = !QFileInfo::exists(listPath) ||
                         prompter.ask(AppTitle(), replaceListQuestion(), Prompter::Buttons::YesNo,
                                      Prompter::Icon::Question) == Prompter::Answer::Yes;
    if (replace && !createSampleList(listPath, &error))
        report(prompter, QStringLiteral("The sample mailing list could not be created."), error);

    if (!insertSampleRows(central, folders.TemplatesFolder, &error)) {
        report(prompter, QStringLiteral("The sample records could not be written."), error);
        return false;
    }
    return true;
}

} // namespace SampleData
