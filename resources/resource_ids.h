// Identifiers shared by ZAXTarGzip.rc and the code that uses its resources.
#pragma once

// Bitmap shown in a development environment's toolbox.
#define IDB_TOOLBOX 1
// The control's icon; also shown in the About box.
#define IDI_CONTROL 1

// The About box Form1 and its controls.
#define IDD_FORM1 100
#define IDC_TEXT1 101
#define IDC_LABEL1 102
#define IDC_LABEL2 103
#define IDC_LABEL3 104
#define IDC_LABEL4 105
#define IDC_COMMAND1 106
#define IDC_IMAGE1 107
