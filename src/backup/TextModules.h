#pragma once
// The three modules whose item files are the pages' own text exports: contacts ("contact.vcf",
// the contact export), messages ("msg.csv") and call records ("CallRecord.csv"). Used by the module
// table of BackupRunner.cpp.

#include "backup/BackupRunner.h"

namespace backup {

ModuleIo ContactsIo();
ModuleIo MessagesIo();
ModuleIo CallRecordsIo();

} // namespace backup
