// Steps that the application-mode operations share: opening the host's COM
// port, making sure an application of this family answers, and reading the
// receiver's hardware-capability flags.
#pragma once
#include "afx/String.h"
#include "afx/WinTypes.h"
#include "plugin/Exports.h"

class CBreakInfo;
class CioInterface;
class CSerialInterface;

namespace receiver {

// Hardware-capability flag bits.
constexpr BYTE kInternalRadio = 0x02;
constexpr BYTE kCellularModem = 0x20;
constexpr BYTE kTransmitRadio = 0x40;

// Opens the operation's COM port at 9600 baud, 8 data bits, no parity, 1 stop bit.
void OpenPort(CSerialInterface& port, const OperationParams& params);
// A message box owned by the host window, captioned with the plug-in's name.
int ShowMessage(const OperationParams& params, const CString& text, UINT flags);
// Identifies the receiver into `info`. No reply: CGarnexException 701. A
// monitor or a product of another family: its message, then the user's
// cancel, so that the run ends as cancelled.
void RequireApplication(CSerialInterface& port, const OperationParams& params, CBreakInfo& info);
// Asks for the capability record; false when it could not be sent, did not
// come within 3 s, or is too short to hold the flags byte.
bool RequestHardwareFlags(CioInterface& port, BYTE* flags);
// Where the flags byte lies in a capability record; -1 when it holds none.
int HardwareFlagsIndex(const BYTE* data, UINT size);

}  // namespace receiver
