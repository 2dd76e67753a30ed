#include "app/ui/MailingServices.h"

#include "lists/ui/ListWindows.h"
#include "lists/ui/frmSQLQuery.h"
#include "messages/MessageEvents.h"
#include "messages/ui/MessageWindows.h"

MailingWindowServices::Services mailingServices(ListWindows& lists, MessageWindows& messages) {
    MailingWindowServices::Services services;
    services.createEmptyList = [&lists] {
        return lists.createEmptyList() != nullptr;
    };
    services.newMessage = [&messages] {
        return messages.newMessage() != nullptr;
    };
    services.whenMessagesChange = [](QObject* context, std::function<void()> work) {
        QObject::connect(&MessageEvents::instance(), &MessageEvents::messagesChanged, context,
                         std::move(work));
    };
    services.buildFilter = [](QWidget* parent, const QString& listFile,
                              std::function<void(const QString&)> done) {
        auto* dialog =
            new frmSQLQuery(QStringLiteral("AddressList"), frmSQLQuery::tableColumns(listFile), parent);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        QObject::connect(dialog, &QDialog::accepted, dialog,
                         [dialog, done = std::move(done)] { done(dialog->clause().trimmed()); });
        dialog->open();
    };
    return services;
}
