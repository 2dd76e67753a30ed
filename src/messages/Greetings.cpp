#include "messages/Greetings.h"

#include "core/ErrorLog.h"
#include "messages/mdlMergeFields.h"

#include <QStringList>

namespace {

const QString CrLf = QStringLiteral("\r\n");
const QString Prefix = QStringLiteral("{Prefix}");
const QString Salutation = QStringLiteral("{Salutation}");

QString joined(const QString& first, const QString& second) {
    return first.isEmpty() ? second : first + u' ' + second;
}

QString valueOf(const RecipientRecord& record, const QString& column) {
    return column.isEmpty() ? QString() : record.value(column);
}

} // namespace

bool GreetingSettings::personalGreetingPossible() const {
    return enabled() && GreetingType == 1 &&
           (!GenericName.isEmpty() || !FirstNameColumn.isEmpty() || !LastNameColumn.isEmpty());
}

bool GreetingSettings::groupGreetingPossible() const {
    return enabled() && GreetingType == 0 && !GroupGreeting.isEmpty();
}

GreetingSettings LoadGreetingSettings(const MessageRecord& message) {
    GreetingSettings s;
    s.Salutation = message.Salutation;
    s.TitleColumn = message.UseTitle ? QStringLiteral("Title") : QString();
    s.FirstNameColumn = message.UseFName ? QStringLiteral("FirstName") : QString();
    s.LastNameColumn = message.UseLName ? QStringLiteral("LastName") : QString();
    s.Punctuation = message.Punctuation;
    s.GenericName = message.GenericName;
    s.MissingFNameOption = message.MissingFNameOption;
    s.MissingLNameOption = message.MissingLNameOption;
    s.UseGreetingManager = message.UseGreetingManager;
    s.GreetingType = message.GreetingType;
    s.AddressType = message.AddressType;
    s.GroupGreeting = message.GroupGreeting;
    s.GroupAddress = message.GroupAddress;
    s.HTMLGreeting = message.HTMLGreeting;
    return s;
}

GreetingSettings SetGreetingManagerDefaultValues() {
    GreetingSettings s;
    s.UseGreetingManager = true;
    s.FirstNameColumn = QStringLiteral("FirstName");
    s.LastNameColumn = QStringLiteral("LastName");
    s.MissingFNameOption = true;
    s.MissingLNameOption = true;
    s.Punctuation = QStringLiteral(",");
    s.Salutation = QStringLiteral("Dear");
    s.AddressType = 1;
    s.GreetingType = -1;
    return s;
}

QString DefaultHtmlGreetingTemplate() {
    return QStringLiteral("{Prefix} {Salutation}");
}

QString BuildPersonalGreeting(const RecipientRecord* record, const GreetingSettings& settings,
                              bool asGreeting) {
    const bool possible = asGreeting
                              ? settings.personalGreetingPossible()
                              : !settings.FirstNameColumn.isEmpty() || !settings.LastNameColumn.isEmpty();
    if (!possible || !record)
        return {};
    const QString title = valueOf(*record, settings.TitleColumn);
    const QString first = valueOf(*record, settings.FirstNameColumn);
    const QString last = valueOf(*record, settings.LastNameColumn);
    const QString salutation = asGreeting ? settings.Salutation : QString();

    QString result;
    bool generic = first.isEmpty() && last.isEmpty();
    if (!generic) {
        if (!last.isEmpty()) {
            if (!first.isEmpty() || settings.FirstNameColumn.isEmpty() || settings.MissingFNameOption) {
                QStringList parts;
                for (const QString& part : {salutation, title, first, last}) {
                    if (!part.isEmpty())
                        parts << part;
                }
                result = parts.join(u' ');
            } else {
                generic = true;
            }
        } else if (settings.LastNameColumn.isEmpty() || settings.MissingLNameOption) {
            result = joined(salutation, first); // the title goes without a last name
        } else {
            generic = true;
        }
    }
    if (generic)
        result = settings.GenericName.isEmpty() ? QString() : joined(salutation, settings.GenericName);
    if (asGreeting && !result.isEmpty())
        result += settings.Punctuation + CrLf;
    return result;
}

QString ToDisplayText(const RecipientRecord* record, const GreetingSettings& settings,
                      const QString& address) {
    if (settings.AddressType == 0)
        return settings.GroupAddress;
    const QString name = BuildPersonalGreeting(record, settings, false);
    return name.trimmed().isEmpty() ? address : name;
}

// ---- HTML greeting ----

HtmlGreetingTemplate::HtmlGreetingTemplate(const GreetingSettings& settings)
    : group_(settings.GreetingType == 0), salutation_(settings.Salutation),
      groupGreeting_(settings.GroupGreeting) {
    const QString& html = settings.HTMLGreeting;
    if (settings.GreetingType == -1 || html.isEmpty())
        return;
    faulty_ = true;
    const qsizetype open = html.indexOf(QLatin1StringView("<BODY>"), 0, Qt::CaseInsensitive);
    const qsizetype close = html.indexOf(QLatin1StringView("</BODY>"), 0, Qt::CaseInsensitive);
    if (open < 0 || close < open + 6)
        return;
    const QString body = html.mid(open + 6, close - open - 6);
    const qsizetype prefix = body.indexOf(Prefix);
    const qsizetype salutation = body.indexOf(Salutation);
    if (prefix < 0 || salutation < 0)
        return;
    prefixFirst_ = prefix < salutation;
    const qsizetype first = prefixFirst_ ? prefix : salutation;
    const qsizetype firstEnd = first + (prefixFirst_ ? Prefix.size() : Salutation.size());
    const qsizetype second = prefixFirst_ ? salutation : prefix;
    const qsizetype secondEnd = second + (prefixFirst_ ? Salutation.size() : Prefix.size());
    beforePrefix_ = body.left(first);
    betweenPlaceholders_ = body.mid(firstEnd, second - firstEnd);
    afterSalutation_ = body.mid(secondEnd);
    usable_ = true;
    faulty_ = false;
}

QString HtmlGreetingTemplate::fill(const QString& greeting) const {
    if (greeting.isEmpty())
        return {};
    if (!usable_) {
        if (faulty_ && !logged_) {
            LogError(QStringLiteral("ParseHTMLGreeting in mdlMerge"),
                     {5, QStringLiteral("The HTML greeting template lacks <BODY>, </BODY>, {Prefix} or "
                                        "{Salutation}.")});
            logged_ = true;
        }
        return {};
    }
    const QString prefix = group_ ? QString() : salutation_;
    const QString salutation = group_ ? groupGreeting_ : greeting.mid(salutation_.size());
    return beforePrefix_ + (prefixFirst_ ? prefix : salutation) + betweenPlaceholders_ +
           (prefixFirst_ ? salutation : prefix) + afterSalutation_;
}

QString ParseHTMLGreeting(const GreetingSettings& settings, const QString& greeting) {
    return HtmlGreetingTemplate(settings).fill(greeting);
}

// ---- Insertion ----

qsizetype BodyTagInsertPosition(QStringView html) {
    const qsizetype body = html.indexOf(QLatin1StringView("<BODY"), 0, Qt::CaseInsensitive);
    if (body < 0)
        return -1;
    const qsizetype close = html.indexOf(u'>', body);
    return close < 0 ? -1 : close + 1;
}

QString InsertAfterBodyTag(const QString& html, const QString& fragment) {
    const qsizetype at = BodyTagInsertPosition(html);
    if (at < 0 || fragment.isEmpty())
        return html;
    QString result = html;
    return result.insert(at, fragment);
}

qsizetype TextPartBodyStart(QStringView message) {
    static const QLatin1StringView header("Content-Type: text/plain");
    qsizetype from = 0;
    for (;;) {
        const qsizetype at = message.indexOf(header, from, Qt::CaseInsensitive);
        if (at < 0)
            return -1;
        const qsizetype after = at + header.size();
        // A header line of its own, whose value is text/plain (maybe with parameters).
        const bool lineStart = at == 0 || message[at - 1] == u'\n';
        const bool valueEnds = after < message.size() && (message[after] == u'\r' || message[after] == u';');
        if (lineStart && valueEnds) {
            const qsizetype blank = message.indexOf(QLatin1StringView("\r\n\r\n"), after);
            return blank < 0 ? -1 : blank + 4;
        }
        from = after;
    }
}

QString InsertTextGreeting(const QString& message, const QString& greeting, bool bareText) {
    if (bareText)
        return greeting + message;
    const qsizetype at = TextPartBodyStart(message);
    if (at < 0 || greeting.isEmpty())
        return message;
    QString result = message;
    return result.insert(at, greeting);
}

// ---- Greeting window ----

QString SetGreetingDisplay(const GreetingSettings& settings) {
    if (settings.GreetingType == 0)
        return settings.GroupGreeting;
    if (settings.GreetingType != 1)
        return {};
    QStringList tags;
    for (const QString& column : {settings.TitleColumn, settings.FirstNameColumn, settings.LastNameColumn}) {
        if (!column.isEmpty())
            tags << MakeMergeFieldTag(column);
    }
    return joined(settings.Salutation, tags.join(u' ')) + settings.Punctuation;
}

QString SetToAddressDisplay(const GreetingSettings& settings) {
    if (settings.AddressType == 0)
        return settings.GroupAddress;
    QStringList tags;
    for (const QString& column : {settings.TitleColumn, settings.FirstNameColumn, settings.LastNameColumn}) {
        if (!column.isEmpty())
            tags << MakeMergeFieldTag(column);
    }
    const QString address = QStringLiteral("<<Eaddress>>");
    return tags.isEmpty() ? address : tags.join(u' ') + u' ' + address;
}

QString GroupBothMissingText() {
    return QStringLiteral("The Group Salutation and Address options have been selected, but are missing "
                          "salutation and address values.  Please enter these values or use Personalized "
                          "Greeting and Address instead.");
}

QString GroupGreetingMissingText() {
    return QStringLiteral("The Group Salutation option has been selected, but is missing a salutation.  "
                          "Please enter this value or use the Personalized Greeting instead.");
}

QString GroupAddressMissingText() {
    return QStringLiteral("The Group Address option has been selected, but is missing an address.  Please "
                          "enter this value or use the Personalized Address instead.");
}

QString GroupChoiceRefusal(const GreetingSettings& chosen) {
    const bool greetingMissing = chosen.GreetingType == 0 && chosen.GroupGreeting.isEmpty();
    const bool addressMissing = chosen.AddressType == 0 && chosen.GroupAddress.isEmpty();
    if (greetingMissing && addressMissing)
        return GroupBothMissingText();
    if (greetingMissing)
        return GroupGreetingMissingText();
    if (addressMissing)
        return GroupAddressMissingText();
    return {};
}
