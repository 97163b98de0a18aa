#pragma once
// The addresses admission has recorded for one product, as they were when the dialog opened,
// in a list view so that other programs can read them.
#include <windows.h>

#include <string>
#include <vector>

#include "security/ClientAddressLists.h"

namespace kestrom {

// Shows the list modally over `owner` until the operator closes it.
void RunClientsDialog(HWND owner, CProduct product, const std::vector<std::u16string>& addresses);

}  // namespace kestrom
