#pragma once

namespace zumen {

struct Desk;

// Serves a request another program left in the working folder: "TRIGGER" names the kind
// ("ZUBAN" or "HINNAMAE"), the file of that name holds the drawing number or product name.
// Both files are deleted before the lookup; one matching record is shown on the card at once,
// otherwise the lookup list lets the user pick one.
void CheckRequestFile(Desk &desk);

} // namespace zumen
