#pragma once
// Resource IDs, shared by the resource script and the code (plain defines: the resource
// compiler reads this file too).

#define IDI_MAINICON 1
#define IDB_LOGO 101
#define IDB_BANNER 102
#define IDR_LICENSE 201
