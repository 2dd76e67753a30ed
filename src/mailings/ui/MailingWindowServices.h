#pragma once

#include <QString>
#include <functional>

class QObject;
class QWidget;

// The windows of the lists and messages modules that the mailing wizards open. Those modules sit on the
// same layer as this one, so the main window hands their windows in when it registers the mailing
// windows. A service left empty is simply not offered.
namespace MailingWindowServices {

struct Services {
    // Opens a new empty list window; false, after saying why, when none opened.
    std::function<bool()> createEmptyList;
    // Opens the message editor on a new message; false, after saying why, when none opened.
    std::function<bool()> newMessage;
    // Calls work each time the saved messages change, for as long as context lives.
    std::function<void(QObject* context, std::function<void()> work)> whenMessagesChange;
    // Opens the query builder over table AddressList of the list file; done receives the clause on OK.
    std::function<void(QWidget* parent, const QString& listFile, std::function<void(const QString&)> done)>
        buildFilter;
};

void install(Services services);
const Services& services();

} // namespace MailingWindowServices
