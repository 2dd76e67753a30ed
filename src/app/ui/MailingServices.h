#pragma once

#include "mailings/ui/MailingWindowServices.h"

class ListWindows;
class MessageWindows;

// The list and message windows the mailing wizards open, from the modules of this main window.
MailingWindowServices::Services mailingServices(ListWindows& lists, MessageWindows& messages);
