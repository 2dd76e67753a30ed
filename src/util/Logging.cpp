#include "util/Logging.h"

Q_LOGGING_CATEGORY(lcUtil, "tamberlyn.util")
Q_LOGGING_CATEGORY(lcCore, "tamberlyn.core")
Q_LOGGING_CATEGORY(lcDb, "tamberlyn.db")
Q_LOGGING_CATEGORY(lcLists, "tamberlyn.lists")
Q_LOGGING_CATEGORY(lcMessages, "tamberlyn.messages")
Q_LOGGING_CATEGORY(lcMailings, "tamberlyn.mailings")
Q_LOGGING_CATEGORY(lcHarvest, "tamberlyn.harvest")
Q_LOGGING_CATEGORY(lcSend, "tamberlyn.send")
Q_LOGGING_CATEGORY(lcImport, "tamberlyn.import")
Q_LOGGING_CATEGORY(lcMailbox, "tamberlyn.mailbox")
Q_LOGGING_CATEGORY(lcApp, "tamberlyn.app")
