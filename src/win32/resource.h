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
// Menu commands are kCommandBase + the window command's number.
#define IDM_COMMAND_BASE 40000
