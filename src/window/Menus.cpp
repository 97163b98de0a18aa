#include "window/Menus.h"

#include "window/WindowTexts.h"

namespace kestrom {

std::vector<CMenu> MainMenu(bool hyWire) {
    using C = CWindowCommand;
    const CMenuItem separator;
    std::vector<CMenu> menus;
    CMenu file{texts::kFileMenu, {}};
    if (!hyWire) {
        file.items.push_back({texts::kOptionsItem, C::kOptions});
        file.items.push_back(separator);
    }
    file.items.push_back({texts::kExitItem, C::kExit});
    menus.push_back(file);
    if (!hyWire) {
        menus.push_back({texts::kClientsMenu,
                         {{texts::kWenlowClientsItem, C::kWenlowClients},
                          {texts::kFieldOrvoClientsItem, C::kFieldOrvoClients},
                          {texts::kClerkOrvoClientsItem, C::kClerkOrvoClients}}});
    }
    menus.push_back({texts::kHelpMenu,
                     {{texts::kHelpIndexItem, C::kHelpIndex},
                      {texts::kHelpContentsItem, C::kHelpContents},
                      {texts::kConsoleItem, C::kConsole},
                      separator,
                      {texts::kAboutKestromItem, C::kAbout}}});
    return menus;
}

std::vector<CMenuItem> TrayMenu(bool hyWire) {
    using C = CWindowCommand;
    const CMenuItem separator;
    std::vector<CMenuItem> items = {{texts::kTrayOpenItem, C::kOpen}, separator};
    if (!hyWire) items.push_back({texts::kTrayOptionsItem, C::kOptions});
    items.push_back({texts::kTrayAboutItem, C::kAbout});
    items.push_back(separator);
    items.push_back({texts::kExitItem, C::kExit});
    return items;
}

}  // namespace kestrom
