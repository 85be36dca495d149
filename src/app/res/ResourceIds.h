#pragma once
// Resource IDs, shared by the resource script and the code (plain defines: the resource
// compiler reads this file too).

#define IDI_MAINICON 1
// The artwork at 100, 125, 150 and 200 %.
#define IDB_LOGO 101
#define IDB_BANNER 102
#define IDB_LOGO_125 103
#define IDB_LOGO_150 104
#define IDB_LOGO_200 105
#define IDB_BANNER_125 106
#define IDB_BANNER_150 107
#define IDB_BANNER_200 108
#define IDR_LICENSE 201
