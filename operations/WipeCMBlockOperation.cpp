#include "operations/WipeCMBlockOperation.h"

#include <memory>

#include "afx/Format.h"
#include "afx/Ui.h"
#include "afx/Window.h"
#include "device/GarnexInterface.h"
#include "plugin/Progress.h"
#include "port/SerialInterface.h"

CWipeCMBlockOperation::CWipeCMBlockOperation() : CNamedOperation(0, 1680, 1681) {}

bool CWipeCMBlockOperation::GetText(unsigned kind, char* buffer, unsigned length) {
  return AnswerText(kind, buffer, length, AfxLoadString(1683), 1678, 1679);
}

bool CWipeCMBlockOperation::Run(OperationParams* p) {
  const OperationParams params = *p;
  SetWindowText(params.window, AfxLoadString(1677).c_str());
  if (AfxMessageBox(1682, MB_YESNO | MB_ICONQUESTION) != IDYES) {
    SetStatus(params, 105);
    SetProgress(params, 100);
    return false;
  }
  SetStatus(params, 610);
  SetProgress(params, 0);
  CSerialInterface port;
  port.Open(static_cast<UINT>(params.port), 1, 0, 0, 6);
  auto device = std::make_unique<CGarnexInterface>(&port, params);

  SetStatus(params, 619);
  device->Connect(true);
  bool wiped = false;
  // Only a monitor that reports the capability knows how to erase these blocks.
  if (device->GetProductInfoFlag()) {
    SetStatus(params, 1684);
    SetProgress(params, 10);
    CLSDeviceInterface::SectorList sectors;
    device->BuildSectorList(kFirstAddress, kLastAddress, sectors);
    device->EraseFlash(sectors, 10, 90);
    SetProgress(params, 100);
    wiped = true;
  } else {
    AfxMessageBox(1685, MB_OK | MB_ICONSTOP);
    SetStatus(params, 105);
    SetProgress(params, 100);
  }
  device->SwitchBaud(38400);
  SetStatus(params, 618);
  device->Reboot();
  port.Close();
  device.reset();
  if (!wiped) SetStatus(params, 105);
  SetProgress(params, 100);
  return wiped;
}
