/* The Smartphone's additions to winuser.h, which windows.h does not include. Windows Mobile
   reference, "EM_SETINPUTMODE" (bb431793(v=msdn.10)): wParam reserved, 0; lParam the input
   mode, EIM_NUMBERS for the Numbers mode; TRUE on success. The page gives no values; these
   are the ones the Smartphone SDK's winuserm.h defines. */
#ifndef VELMORA_SDK_WINUSERM_H
#define VELMORA_SDK_WINUSERM_H

#define EM_SETINPUTMODE     0x00DE
#define IM_NUMBERS          2
#define EIM_NUMBERS         IM_NUMBERS

#endif
