#pragma once

#include <QLoggingCategory>

// One logging category per module for its debug output; QT_LOGGING_RULES turns them on, for example
// QT_LOGGING_RULES="tamberlyn.send.debug=true".
Q_DECLARE_LOGGING_CATEGORY(lcUtil)
Q_DECLARE_LOGGING_CATEGORY(lcCore)
Q_DECLARE_LOGGING_CATEGORY(lcDb)
Q_DECLARE_LOGGING_CATEGORY(lcLists)
Q_DECLARE_LOGGING_CATEGORY(lcMessages)
Q_DECLARE_LOGGING_CATEGORY(lcMailings)
Q_DECLARE_LOGGING_CATEGORY(lcHarvest)
Q_DECLARE_LOGGING_CATEGORY(lcSend)
Q_DECLARE_LOGGING_CATEGORY(lcImport)
Q_DECLARE_LOGGING_CATEGORY(lcMailbox)
Q_DECLARE_LOGGING_CATEGORY(lcApp)
