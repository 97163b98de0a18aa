#pragma once
// Every text the operator's window shows: titles, group and control labels, menu items,
// questions and refusals. Both windows take them from here, so they read the same on Linux
// and Windows. An "&" marks the mnemonic letter, as Qt and Windows both write it.
#include <string>
#include <string_view>

#include "security/ClientAddressLists.h"

namespace kestrom::texts {

using Text = std::u16string_view;

// Main window ------------------------------------------------------------------------------
inline constexpr Text kProgramName = u"Kestrom";
// Followed by the version: "Kestrom v3.23".
inline constexpr Text kMainTitlePrefix = u"Kestrom v";
inline constexpr Text kMessageBoxTitle = u"Kestrom";
inline constexpr Text kTrayTooltip = u"Kestrom";

inline constexpr Text kFoldersGroup = u"Directory Locations";
inline constexpr Text kEventFilesLabel = u"Event Files:";
inline constexpr Text kResultsFilesLabel = u"Results Files:";
inline constexpr Text kBrowse = u"Browse...";
inline constexpr Text kBrowseEventFolderTitle = u"Select the Event Files Folder:";
inline constexpr Text kBrowseResultsFolderTitle = u"Select the Results Files Folder:";
inline constexpr Text kConnectionGroup = u"Connection Settings";
inline constexpr Text kPortLabel = u"Port Number:";
inline constexpr Text kConnectionsLabel = u"Current Connections:";
inline constexpr Text kProductsGroup = u"Enabled Products";
inline constexpr Text kLoggingGroup = u"Logging/Statistics";
inline constexpr Text kLogEvents = u"Log Events";
inline constexpr Text kClearLog = u"Clear Log";
inline constexpr Text kErrorCountLabel = u"Error Count:";
inline constexpr Text kClearErrors = u"Clear Errors";

// The port field's refusals, worded as the dialog framework words its integer checks.
inline constexpr Text kPortNotAnInteger = u"Enter a positive integer.";
// "Enter an integer between 1 and 32767."
inline constexpr Text kPortRangePrefix = u"Enter an integer between ";
inline constexpr Text kPortRangeAnd = u" and ";
inline constexpr Text kPortRangeEnd = u".";

// Menus --------------------------------------------------------------------------------------
inline constexpr Text kFileMenu = u"&File";
inline constexpr Text kOptionsItem = u"&Options...";
inline constexpr Text kExitItem = u"E&xit";
inline constexpr Text kClientsMenu = u"&Clients";
inline constexpr Text kWenlowClientsItem = u"&Wenlow...";
inline constexpr Text kFieldOrvoClientsItem = u"&FieldOrvo...";
inline constexpr Text kClerkOrvoClientsItem = u"C&lerkOrvo...";
inline constexpr Text kHelpMenu = u"&Help";
inline constexpr Text kHelpIndexItem = u"&Index...";
inline constexpr Text kHelpContentsItem = u"&Contents...";
inline constexpr Text kConsoleItem = u"Operator C&onsole...";
inline constexpr Text kAboutKestromItem = u"&About Kestrom...";
// The notification icon's pop-up menu.
inline constexpr Text kTrayOpenItem = u"&Open";
inline constexpr Text kTrayOptionsItem = u"O&ptions...";
inline constexpr Text kTrayAboutItem = u"&About...";

// Help and about -----------------------------------------------------------------------------
inline constexpr Text kHelpFileMissing = u"Cannot locate help file";
inline constexpr Text kAboutTitle = u"About Kestrom";
inline constexpr Text kAboutVersionPrefix = u"Version: ";
inline constexpr Text kAboutReleasedPrefix = u"Released : ";
inline constexpr Text kReleaseDate = u"Dec 13 2023";
inline constexpr Text kAboutDescription =
    u"Data exchange server for athletics meets: event files, results, start lists and finish "
    u"pictures for the devices around the track.";

// Client lists: "Wenlow Clients (2)".
inline constexpr Text kClientsTitleMiddle = u" Clients (";
inline constexpr Text kClientsTitleEnd = u")";
inline constexpr Text kClose = u"&Close";

// Product grid -------------------------------------------------------------------------------
inline constexpr Text kGridProduct = u"Product";
inline constexpr Text kGridEnabled = u"Enabled";
inline constexpr Text kGridClients = u"# Clients";
inline constexpr Text kGridConnected = u"# Connected";
inline constexpr Text kFieldOrvo = u"FieldOrvo";
inline constexpr Text kClerkOrvo = u"ClerkOrvo";
inline constexpr Text kWenlow = u"Wenlow";
inline constexpr Text kHyWire = u"Hy-Tek's HY-WIRE";
inline constexpr Text kGridYes = u"Y";
inline constexpr Text kGridUnlimited = u"Unlimited";

// Options sheet ------------------------------------------------------------------------------
inline constexpr Text kOptionsTitle = u"Options";
inline constexpr Text kGeneralPage = u"General";
inline constexpr Text kDatabasePage = u"Database";
inline constexpr Text kSecurityPage = u"Security";
// Logged for each unknown client while the sheet is open.
inline constexpr Text kOptionsOpenHoldBack =
    u"Kestrom Options dialog is open.  Prompting for clients will not work until the dialog "
    u"is closed.";

inline constexpr Text kSendBufferLabel = u"Send Buffer Size:";
inline constexpr Text kReceiveBufferLabel = u"Receive Buffer Size:";
inline constexpr Text kReset = u"Reset";
inline constexpr Text kRestartNote =
    u"** Kestrom requires a restart for this change to take effect.";
inline constexpr Text kNotAnInteger = u"Enter an integer.";

inline constexpr Text kCodeSetGroup = u"Code Set";
inline constexpr Text kSingleByte = u"Single Byte";
inline constexpr Text kUnicode = u"Unicode";

inline constexpr Text kEnableSecurity = u"Enable Security";
inline constexpr Text kEnableWenlowSecurity = u"Enable Wenlow Security";
inline constexpr Text kEnableClerkOrvoSecurity = u"Enable ClerkOrvo Security";
inline constexpr Text kEnableFieldOrvoSecurity = u"Enable FieldOrvo Security";
inline constexpr Text kPromptForClients =
    u"Prompt to add clients attempting to connect which are not in the Access Control List";
inline constexpr Text kAccessListLabel = u"Access Control List";
inline constexpr Text kAddButton = u"&Add";
inline constexpr Text kDeleteButton = u"&Delete";
inline constexpr Text kUpdateButton = u"&Update";
inline constexpr Text kColumnMac = u"MAC Address";
inline constexpr Text kColumnName = u"Name";
inline constexpr Text kColumnEnabled = u"Enabled";
inline constexpr Text kYes = u"Yes";
inline constexpr Text kNo = u"No";
inline constexpr Text kSelectAnItem = u"Please select an item";
inline constexpr Text kConfirmDelete = u"Are you sure you want to delete the selected entries?";
inline constexpr Text kCancelSecurityChanges =
    u"Changes have been made to the security settings.  If you continue, all changes will be "
    u"lost.  Do you wish to continue?";

// Entry dialog of the access list editor -----------------------------------------------------
inline constexpr Text kAddMacTitle = u"Add MAC Address";
inline constexpr Text kUpdateClientTitle = u"Update Access Control Client";
inline constexpr Text kClientInformationGroup = u"Client Information";
inline constexpr Text kMacLabel = u"MAC Address:";
inline constexpr Text kMacSeparator = u":";
inline constexpr Text kNameLabel = u"Name (optional):";
inline constexpr Text kAccessControlGroup = u"Access Control";
inline constexpr Text kEnableBox = u"Enable";
inline constexpr Text kAddQuestion = u"Do you wish to add this MAC Address?";
inline constexpr Text kInvalidMacCharacter = u"Valid characters are 0-9, A-Z";
inline constexpr Text kIncompleteMac =
    u"You have entered an incomplete MAC address.  The MAC Address must be 12 bytes long.";
inline constexpr Text kDuplicateMac = u"A client with that MAC address already exists.";

}  // namespace kestrom::texts

namespace kestrom {

// The texts put together from the pieces above.
std::u16string MainWindowTitle();  // "Kestrom v3.23"
std::u16string PortRangeText();    // "Enter an integer between 1 and 32767."
std::u16string ClientsDlgTitleText(CProduct product, int count);  // "Wenlow Clients (2)"
std::u16string_view ProductName(CProduct product);
std::u16string MissingHelpFileText(std::u16string_view expectedPath);  // "%s: %s"
std::u16string AboutVersionText();                                     // "Version: 3.23"
std::u16string AboutReleasedText();                                    // "Released : Dec 13 2023"

}  // namespace kestrom
