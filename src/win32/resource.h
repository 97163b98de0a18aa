#pragma once
// Control and resource numbers shared by the resource script and the code.
#define IDD_MAIN 100
#define IDC_EVENT_DIR 1001
#define IDC_EVENT_BROWSE 1002
#define IDC_RESULTS_DIR 1003
#define IDC_RESULTS_BROWSE 1004
#define IDC_PORT 1005
#define IDC_CONNECTIONS 1006
#define IDC_GRID 1007
#define IDC_LOG_EVENTS 1008
#define IDC_CLEAR_LOG 1009
#define IDC_ERRORS 1010
#define IDC_CLEAR_ERRORS 1011
#define IDC_LOG 1012
#define IDC_FOLDERS_GROUP 1013
#define IDC_EVENT_LABEL 1014
#define IDC_RESULTS_LABEL 1015
#define IDC_CONNECTION_GROUP 1016
#define IDC_PORT_LABEL 1017
#define IDC_CONNECTIONS_LABEL 1018
#define IDC_PRODUCTS_GROUP 1019
#define IDC_LOGGING_GROUP 1020
#define IDC_ERRORS_LABEL 1021
// The access list editor's entry dialog.
#define IDD_SECURITY_ITEM 200
#define IDC_SI_CLIENT_GROUP 2000
#define IDC_SI_MAC_LABEL 2001
// The six MAC byte edits and the colons between them are numbered in a row.
#define IDC_SI_MAC1 2002
#define IDC_SI_MAC2 2003
#define IDC_SI_MAC3 2004
#define IDC_SI_MAC4 2005
#define IDC_SI_MAC5 2006
#define IDC_SI_MAC6 2007
#define IDC_SI_COLON1 2008
#define IDC_SI_COLON2 2009
#define IDC_SI_COLON3 2010
#define IDC_SI_COLON4 2011
#define IDC_SI_COLON5 2012
#define IDC_SI_NAME_LABEL 2013
#define IDC_SI_NAME 2014
#define IDC_SI_ACCESS_GROUP 2015
// Enable, Wenlow, ClerkOrvo, FieldOrvo in a row.
#define IDC_SI_ENABLE 2016
#define IDC_SI_WENLOW 2017
#define IDC_SI_CLERKORVO 2018
#define IDC_SI_FIELDORVO 2019
#define IDC_SI_QUESTION 2020
// The options sheet's three pages.
#define IDD_OPTIONS_GENERAL 300
#define IDD_OPTIONS_DATABASE 301
#define IDD_OPTIONS_SECURITY 302
#define IDC_SEND_BUFFER_LABEL 3000
#define IDC_SEND_BUFFER 3001
#define IDC_SEND_RESET 3002
#define IDC_RECEIVE_BUFFER_LABEL 3003
#define IDC_RECEIVE_BUFFER 3004
#define IDC_RECEIVE_RESET 3005
#define IDC_RESTART_NOTE 3006
#define IDC_CODE_SET_GROUP 3010
#define IDC_SINGLE_BYTE 3011
#define IDC_UNICODE 3012
#define IDC_ENABLE_SECURITY 3020
#define IDC_WENLOW_SECURITY 3021
#define IDC_CLERKORVO_SECURITY 3022
#define IDC_FIELDORVO_SECURITY 3023
#define IDC_PROMPT_CLIENTS 3024
#define IDC_ACCESS_LIST_LABEL 3025
#define IDC_ACCESS_LIST 3026
#define IDC_ACCESS_ADD 3027
#define IDC_ACCESS_DELETE 3028
#define IDC_ACCESS_UPDATE 3029
// The addresses admission recorded for one product.
#define IDD_CLIENTS 201
#define IDC_CLIENTS_LIST 2030
// Menu commands are kCommandBase + the window command's number.
#define IDM_COMMAND_BASE 40000
