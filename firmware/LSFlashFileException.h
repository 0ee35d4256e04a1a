// Every failure of a firmware file, with the file's name.
#pragma once
#include "afx/Exception.h"
#include "afx/String.h"

class CLSFlashFileException : public CException {
 public:
  // Message string of a code is code + kMessageOffset.
  static constexpr UINT kMessageOffset = 350;

  CLSFlashFileException(UINT code, const char* fileName) : code_(code), fileName_(fileName ? fileName : "") {}

  // The message of the code, formatted with the code and the file name.
  BOOL GetErrorMessage(char* buffer, UINT maxLen, UINT* helpContext = nullptr) const override;
  // Shows the message and brings the box to the foreground.
  int ReportError(UINT type = MB_OK, UINT messageId = 0) const override;

  UINT GetCode() const { return code_; }
  const CString& GetFileName() const { return fileName_; }

  // The code for a file error's cause; 0 for none.
  static UINT CodeForFileError(int cause);
  // Throws the translation of a failed open; returns when `error` has no cause.
  static void ThrowForFileError(const CFileException& error, const char* fileName);

 private:
  UINT code_;
  CString fileName_;
};
