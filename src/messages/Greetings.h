#pragma once

#include "messages/MessageStore.h"
#include "messages/mdlMergeFields.h"

#include <QString>
#include <QStringView>

// Greetings and To-address personalisation: the settings of a message, the greeting line and To name
// built from a recipient's record, the HTML greeting, and where a greeting goes into a text or HTML.

// The greeting settings of one message, in slot order.
struct GreetingSettings {
    QString Salutation;              // 0
    QString TitleColumn;             // 1: "Title" when the title is used, else empty
    QString FirstNameColumn;         // 2: "FirstName" or empty
    QString LastNameColumn;          // 3: "LastName" or empty
    QString Punctuation;             // 4
    QString GenericName;             // 5
    bool MissingFNameOption = false; // 6
    bool MissingLNameOption = false; // 7
    bool UseGreetingManager = false; // 8: the settings are in force
    qint32 GreetingType = -1;        // 9: 1 personal, 0 group, -1 none
    qint32 AddressType = 0;          // 10: 1 personal name, 0 group text
    QString GroupGreeting;           // 11
    QString GroupAddress;            // 12
    QString HTMLGreeting;            // 13: the HTML greeting template

    bool enabled() const { return UseGreetingManager; }
    // Enabled, personal type, and a name to build from (generic name, first- or last-name column).
    bool personalGreetingPossible() const;
    // Enabled, group type, and a group greeting text.
    bool groupGreetingPossible() const;
};

GreetingSettings LoadGreetingSettings(const MessageRecord& message);
// The settings a new message starts with.
GreetingSettings SetGreetingManagerDefaultValues();
// The template the greeting window shows while a message has none.
QString DefaultHtmlGreetingTemplate();

// The greeting line (asGreeting: salutation, names, punctuation and CR LF) or the personal To name
// (the names alone) of the recipient; "" when none can be built.
QString BuildPersonalGreeting(const RecipientRecord* record, const GreetingSettings& settings,
                              bool asGreeting);
// The To line's display text: the personal name (the address when that is blank) for a personal To,
// else the group To text.
QString ToDisplayText(const RecipientRecord* record, const GreetingSettings& settings,
                      const QString& address);

// The HTML fragment for the greeting: the part of the template between <BODY> and </BODY> with its
// {Prefix} and {Salutation} filled; "" when there is no greeting or the template lacks a part (logged).
QString ParseHTMLGreeting(const GreetingSettings& settings, const QString& greeting);

// The same, with the template taken apart once for a whole run; a faulty template is logged once.
class HtmlGreetingTemplate {
public:
    HtmlGreetingTemplate() = default;
    explicit HtmlGreetingTemplate(const GreetingSettings& settings);
    QString fill(const QString& greeting) const;

private:
    bool usable_ = false;
    bool group_ = false;
    QString salutation_;
    QString groupGreeting_;
    QString beforePrefix_, betweenPlaceholders_, afterSalutation_;
    bool prefixFirst_ = true;
    bool faulty_ = false;
    mutable bool logged_ = false;
};

// The fragment inserted right after the ">" of the first "<BODY" (any case); unchanged without one.
QString InsertAfterBodyTag(const QString& html, const QString& fragment);
// Where that insertion goes; -1 when the HTML has no body tag.
qsizetype BodyTagInsertPosition(QStringView html);
// bareText: the greeting in front of the whole text. Otherwise the greeting goes to the start of the
// plain-text part of an assembled message (after its header block); unchanged without such a part.
QString InsertTextGreeting(const QString& message, const QString& greeting, bool bareText);
// The start of the body of the first "Content-Type: text/plain" part: just after the empty line that
// ends its header block. -1 when there is none.
qsizetype TextPartBodyStart(QStringView message);

// The greeting window's summaries and its refusals.
QString SetGreetingDisplay(const GreetingSettings& settings);
QString SetToAddressDisplay(const GreetingSettings& settings);
// The text the window refuses to close with when a group choice lacks its text; "" when none.
QString GroupChoiceRefusal(const GreetingSettings& chosen);
QString GroupBothMissingText();
QString GroupGreetingMissingText();
QString GroupAddressMissingText();
