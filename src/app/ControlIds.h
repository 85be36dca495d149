#pragma once
// The installer window's control IDs, in one place so the window, its tests and the GUI driver
// agree. Grouped by the panel or page that holds them.

enum : int {
  IDC_PC = 100,
  IDC_PANEL1,
  IDC_PANEL2,
  IDC_PANEL3,
  IDC_IMAGE1,
  IDC_IMAGE2,
  IDC_BTN_PREV,
  IDC_BTN_NEXT,
  IDC_BTN_FINISH,

  IDC_TS_WELCOME = 200,
  IDC_TS_OPTION,
  IDC_TS_READY,
  IDC_TS_PROGRESS,
  IDC_TS_COMPLETE,
  IDC_TS_CANCEL,

  IDC_LABEL1 = 300,
  IDC_LABEL25,
  IDC_LABEL26,
  IDC_LABEL31,
  IDC_MEMO1,
  IDC_CHK_OK,
  IDC_LABEL4,
  IDC_LABEL5,
  IDC_CX_LABEL2,
  IDC_LBL_ALL_FILES,
  IDC_PB_ALL_FILES,
  IDC_LBL_CURR_FILE,
  IDC_PB_CURR_FILE,
  IDC_LABEL29,
  IDC_LABEL30,
  IDC_LABEL2,
  IDC_LABEL3,
};
