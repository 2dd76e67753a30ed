#include "util/Logging.h"

// Debug output is off unless QT_LOGGING_RULES turns it on; warnings always show.

Q_LOGGING_CATEGORY(lcUtil, "tamberlyn.util", QtInfoMsg)
Q_LOGGING_CATEGORY(lcCore, "tamberlyn.core", QtInfoMsg)
Q_LOGGING_CATEGORY(lcDb, "tamberlyn.db", QtInfoMsg)
Q_LOGGING_CATEGORY(lcLists, "tamberlyn.lists", QtInfoMsg)
Q_LOGGING_CATEGORY(lcMessages, "tamberlyn.messages", QtInfoMsg)
Q_LOGGING_CATEGORY(lcMailings, "tamberlyn.mailings", QtInfoMsg)
Q_LOGGING_CATEGORY(lcHarvest, "tamberlyn.harvest", QtInfoMsg)
Q_LOGGING_CATEGORY(lcSend, "tamberlyn.send", QtInfoMsg)
Q_LOGGING_CATEGORY(lcImport, "tamberlyn.import", QtInfoMsg)
Q_LOGGING_CATEGORY(lcMailbox, "tamberlyn.mailbox", QtInfoMsg)
Q_LOGGING_CATEGORY(lcApp, "tamberlyn.app", QtInfoMsg)
