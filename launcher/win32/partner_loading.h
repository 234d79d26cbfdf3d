// Loading the partner properties at start-up, and the lookup of a string the
// launcher cannot go without. Both show their failures in message boxes.
#pragma once

#include <string>

#include "common/read_result.h"

// Reads properties\partner.xml below LauncherState::appDirectory, checks it
// under LauncherState::buildIdentifier, fills the partner properties store and
// the four product strings of LauncherState. When the launcher's key block
// requires a publisher signature, the document must also pass
// CheckPublisherSignature with the block's keys. False, after its message
// box, when the document is missing or a signature does not match; a document
// that lacks required strings still gives true, after one box per missing key.
bool LoadPartnerProperties();

// The parser's result of the last LoadPartnerProperties: kept for the tests,
// never shown. Ok when nothing was parsed.
const ReadResult& GetPartnerParseResult();

// The partner string stored under exactly `name`; when there is none, shows
// "Unable to find properties string '<name>'" and gives the empty string.
std::string GetRequiredPartnerString(const std::string& name);
