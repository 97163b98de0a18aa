#pragma once
// The access list editor's entry dialog drawn with Windows controls from the resource script:
// adds one entry, updates one or several selected entries, or asks whether to add a client
// that has just tried to connect. Its rules and its copy of the list are those of
// window/SecurityItemEditor.
#include <windows.h>

#include "window/SecurityItemEditor.h"

namespace kestrom {

// Shows the entry dialog modally over `owner` for `editor`; true on OK, when
// editor.List() holds the edited list.
bool RunSecurityItemDialog(HWND owner, CSecurityItemEditor& editor);

}  // namespace kestrom
