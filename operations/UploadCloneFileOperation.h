// Uploads a configuration clone file to the receiver's application and,
// when asked, has the receiver install it.
#pragma once
#include <vector>

#include "afx/String.h"
#include "operations/LSUploadCloneFilePage.h"
#include "plugin/NamedOperation.h"

class CSerialInterface;

class CUploadCloneFileOperation : public CNamedOperation {
 public:
  // Every clone message is a report of this type, answered with the same type.
  static constexpr BYTE kCloneType = 0xB9;
  static constexpr BYTE kTransferPhase = 0x03;
  static constexpr BYTE kActivationPhase = 0x02;
  static constexpr DWORD kChunkSize = 240;
  static constexpr int kActivationPolls = 60;
  // The longest name both the start and the activation message can carry:
  // a report frame holds 255 data bytes, and the activation spends nine of
  // them around the name (phase, length, ".xml", three flags). A longer name
  // is cut to this in both, so that they name the same file.
  static constexpr size_t kMaxNameLength = 255 - 9;

  CUploadCloneFileOperation();
  bool Run(OperationParams* params) override;
  bool GetText(unsigned kind, char* buffer, unsigned length) override;

  CLSUploadCloneFilePage& GetPage() { return m_page; }

  // The data bytes of each clone message; names are cut to kMaxNameLength.
  static std::vector<BYTE> StartMessage(DWORD fileSize, const CString& name);
  static std::vector<BYTE> ChunkMessage(DWORD offset, const BYTE* data, DWORD count);
  static std::vector<BYTE> EndMessage();
  static std::vector<BYTE> ActivationMessage(const CString& name, bool installIp, bool installWifi, bool resetFirst);
  // The file's base name: no folder, no extension.
  static CString BaseName(const CString& path);

 private:
  void Upload(CSerialInterface& port, const OperationParams& params);
  void Activate(CSerialInterface& port, const OperationParams& params, const CString& name);

  CLSUploadCloneFilePage m_page;
};
