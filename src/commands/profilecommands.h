#pragma once

#include "commands/commandrequest.h"

// The profile document commands: reading and editing the page's XML documents through the
// profile store, with XPath selections, and exporting and importing one element through an
// exchange file.
//
// A document that is neither cached nor readable ends the request without an answer. A text
// that does not parse, and an XPath that does not compile or does not give a node set,
// answer the command's failure text and change nothing. Edits re-serialise the document
// and mark it modified even when the selection is empty. Without a profile store in the
// context the commands answer nothing.
namespace vorn::commands {

void queryProfile(CommandRequest &request);
void nodeCounterProfile(CommandRequest &request);
// modifyProfile's first step, taken before its members are tested: the double-click time
// goes to position 0 when a desktop service is present; its result is not used.
void modifyProfileResetDoubleClick(CommandRequest &request);
void modifyProfile(CommandRequest &request);
void modifyProfileEx(CommandRequest &request);
void modifyRemoveProfile(CommandRequest &request);
void modifyAddProfile(CommandRequest &request);
void modifyReplaceProfile(CommandRequest &request);
void modifyReplaceProfileEx(CommandRequest &request);
void resetProfile(CommandRequest &request);
void queryHexByte(CommandRequest &request);
void savexml(CommandRequest &request);
void saveXmlAs(CommandRequest &request);

} // namespace vorn::commands
