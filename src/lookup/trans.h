#pragma once

#include <cstdint>
#include <functional>

class QWidget;

namespace zumen {

struct Archive;

// Serves a request another program left in the working folder: "TRIGGER" names the kind
// ("ZUBAN" or "HINNAMAE"), the file of that name holds the drawing number or product name.
// Both files are deleted before the lookup; one matching record goes to showRecord at once,
// otherwise the lookup list (a child of over, reused) lets the user pick one. Does nothing
// without a window to show the list over.
void CheckRequestFile(Archive &archive, QWidget *over, const std::function<void(std::int32_t)> &showRecord);

} // namespace zumen
