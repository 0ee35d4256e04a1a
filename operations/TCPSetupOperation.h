// Reads, edits and writes the receiver's Ethernet and HTTP-port settings.
#pragma once
#include "plugin/NamedOperation.h"

class CSerialInterface;
class CTCPacket;
struct NetworkSettings;

class CTCPSetupOperation : public CNamedOperation {
 public:
  CTCPSetupOperation();
  bool Run(OperationParams* params) override;
  bool GetText(unsigned kind, char* buffer, unsigned length) override;

 private:
  // One Ethernet exchange: a frame of at least `minimumSize` data bytes, or
  // the acknowledgement; anything else is CGarnexException 701.
  static void Exchange(CSerialInterface& port, CTCPacket& packet, bool frame, UINT minimumSize);
  static void ReadSettings(CSerialInterface& port, NetworkSettings& settings);
  static void ReadPort(CSerialInterface& port, NetworkSettings& settings);
  static void WriteSettings(CSerialInterface& port, const NetworkSettings& settings);
};
