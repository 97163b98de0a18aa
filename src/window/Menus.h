#pragma once
// The window's menus in both modes: the main menu and the notification icon's pop-up menu.
// HY-WIRE mode leaves out everything that would reach the options or the client lists.
#include <string_view>
#include <vector>

namespace kestrom {

enum class CWindowCommand {
    kSeparator,
    kOptions,
    kExit,
    kWenlowClients,
    kFieldOrvoClients,
    kClerkOrvoClients,
    kHelpIndex,
    kHelpContents,
    kConsole,  // the browser console's address and token
    kAbout,
    kOpen,  // restores the window from the notification area
};

struct CMenuItem {
    std::u16string_view text;  // empty for a separator
    CWindowCommand command = CWindowCommand::kSeparator;
    bool IsSeparator() const { return command == CWindowCommand::kSeparator; }
};

struct CMenu {
    std::u16string_view title;
    std::vector<CMenuItem> items;
};

std::vector<CMenu> MainMenu(bool hyWire);
// The first item, "&Open", is the menu's default item, also run by a double click on the icon.
std::vector<CMenuItem> TrayMenu(bool hyWire);

}  // namespace kestrom
