#pragma once

// Every system code the program names, defined once.

#include <cstdint>

namespace korin {

// Every Win32, HRESULT, WinHTTP and CryptoAPI code the program names, each
// defined once, for the core and both builds' adapters alike.

// Win32 error codes.
inline constexpr std::uint32_t kErrorSuccess = 0;
inline constexpr std::uint32_t kErrorFileNotFound = 2;
inline constexpr std::uint32_t kErrorPathNotFound = 3;
inline constexpr std::uint32_t kErrorAccessDenied = 5;
inline constexpr std::uint32_t kErrorInvalidHandle = 6;
inline constexpr std::uint32_t kErrorNotEnoughMemory = 8;
inline constexpr std::uint32_t kErrorInvalidData = 13;
inline constexpr std::uint32_t kErrorOutOfMemory = 14;
inline constexpr std::uint32_t kErrorNoMoreFiles = 18;
inline constexpr std::uint32_t kErrorSharingViolation = 32;
inline constexpr std::uint32_t kErrorHandleEof = 38;
inline constexpr std::uint32_t kErrorNotSupported = 50;
inline constexpr std::uint32_t kErrorFileExists = 80;
inline constexpr std::uint32_t kErrorInvalidParameter = 87;
inline constexpr std::uint32_t kErrorBufferOverflow = 111;
inline constexpr std::uint32_t kErrorDiskFull = 112;
inline constexpr std::uint32_t kErrorCallNotImplemented = 120;
inline constexpr std::uint32_t kErrorInsufficientBuffer = 122;
inline constexpr std::uint32_t kErrorInvalidName = 123;
inline constexpr std::uint32_t kErrorDirNotEmpty = 145;
inline constexpr std::uint32_t kErrorBadPathName = 161;
inline constexpr std::uint32_t kErrorAlreadyExists = 183;
inline constexpr std::uint32_t kErrorBadExeFormat = 193;
inline constexpr std::uint32_t kErrorDirectory = 267;
inline constexpr std::uint32_t kErrorFilenameExcedRange = 206;
inline constexpr std::uint32_t kErrorFileTooLarge = 223;
inline constexpr std::uint32_t kErrorMoreData = 234;
inline constexpr std::uint32_t kErrorNoMoreItems = 259;
inline constexpr std::uint32_t kErrorKeyDeleted = 1018;
// The Service Control Manager's answers.
inline constexpr std::uint32_t kErrorInvalidServiceControl = 1052;
inline constexpr std::uint32_t kErrorServiceRequestTimeout = 1053;
inline constexpr std::uint32_t kErrorServiceAlreadyRunning = 1056;
inline constexpr std::uint32_t kErrorServiceDisabled = 1058;
inline constexpr std::uint32_t kErrorServiceDoesNotExist = 1060;
inline constexpr std::uint32_t kErrorServiceCannotAcceptCtrl = 1061;
inline constexpr std::uint32_t kErrorServiceNotActive = 1062;
inline constexpr std::uint32_t kErrorFailedServiceControllerConnect = 1063;
inline constexpr std::uint32_t kErrorProcessAborted = 1067;
inline constexpr std::uint32_t kErrorServiceMarkedForDelete = 1072;
inline constexpr std::uint32_t kErrorServiceExists = 1073;
inline constexpr std::uint32_t kErrorServiceNotInExe = 1083;
inline constexpr std::uint32_t kErrorInvalidCommandLine = 1639;
// The network is not connected (a Task Scheduler call before Connect).
inline constexpr std::uint32_t kErrorOnlyIfConnected = 1251;
inline constexpr std::uint32_t kErrorResourceLangNotFound = 1815;

// HRESULTs (COM, the shell, the Task Scheduler), as plain numbers.
using HResult = std::int32_t;
inline constexpr HResult kSOk = 0;
inline constexpr HResult kSFalse = 1;
inline constexpr HResult kENotImpl = static_cast<HResult>(0x80004001u);
inline constexpr HResult kEFail = static_cast<HResult>(0x80004005u);
inline constexpr HResult kEInvalidArg = static_cast<HResult>(0x80070057u);
inline constexpr HResult kEOutOfMemory = static_cast<HResult>(0x8007000Eu);
inline constexpr HResult kRpcEChangedMode = static_cast<HResult>(0x80010106u);
inline constexpr HResult kRpcETooLate = static_cast<HResult>(0x80010119u);
// HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND): no work item or task of that name.
inline constexpr HResult kHResultFileNotFound = static_cast<HResult>(0x80070002u);
inline constexpr HResult kENoInterface = static_cast<HResult>(0x80004002u);
inline constexpr HResult kCoENotInitialized = static_cast<HResult>(0x800401F0u);

// HRESULT_FROM_WIN32: a Win32 code in the FACILITY_WIN32 failure range.
inline constexpr HResult hresultFromWin32(std::uint32_t code) {
    return code == 0 ? kSOk : static_cast<HResult>(0x80070000u | (code & 0xFFFFu));
}

// WinHTTP's error codes (the last error of a failed WinHttp call).
inline constexpr std::uint32_t kErrorWinHttpTimeout = 12002;
inline constexpr std::uint32_t kErrorWinHttpInternalError = 12004;
inline constexpr std::uint32_t kErrorWinHttpInvalidUrl = 12005;
inline constexpr std::uint32_t kErrorWinHttpNameNotResolved = 12007;
inline constexpr std::uint32_t kErrorWinHttpIncorrectHandleState = 12019;
inline constexpr std::uint32_t kErrorWinHttpCannotConnect = 12029;
inline constexpr std::uint32_t kErrorWinHttpConnectionError = 12030;
inline constexpr std::uint32_t kErrorWinHttpInvalidServerResponse = 12152;
inline constexpr std::uint32_t kErrorWinHttpRedirectFailed = 12156;
inline constexpr std::uint32_t kErrorWinHttpSecureFailure = 12175;
// What WinHTTP (seen under Wine) reports when a proxy refuses the CONNECT.
inline constexpr std::uint32_t kErrorWinHttpSecureChannelError = 12157;

inline constexpr bool succeeded(HResult result) {
    return result >= 0;
}

// The CryptoAPI's codes, HRESULT-style numbers it reports through the last
// error (the tables of run-time bound functions use DWORDs).
namespace crypto {
inline constexpr std::uint32_t kNteBadHash = 0x80090002;
inline constexpr std::uint32_t kNteBadKey = 0x80090003;
inline constexpr std::uint32_t kNteBadSignature = 0x80090006;
inline constexpr std::uint32_t kNteBadAlgId = 0x80090008;
inline constexpr std::uint32_t kNteBadFlags = 0x80090009;
inline constexpr std::uint32_t kNteBadType = 0x8009000A;
inline constexpr std::uint32_t kNteBadHashState = 0x8009000B;
inline constexpr std::uint32_t kNteBadKeyset = 0x80090016;
inline constexpr std::uint32_t kNteProvTypeNotDef = 0x80090017;
inline constexpr std::uint32_t kCryptEUnknownAlgo = 0x80091002;
inline constexpr std::uint32_t kCryptEAuthAttrMissing = 0x80091006;
inline constexpr std::uint32_t kCryptEHashValue = 0x80091007;
inline constexpr std::uint32_t kCryptENotFound = 0x80092004;
inline constexpr std::uint32_t kCryptEUnexpectedMsgType = 0x8009200A;
inline constexpr std::uint32_t kCryptENoSigner = 0x8009200E;
inline constexpr std::uint32_t kCryptEAsn1Corrupt = 0x80093100;
inline constexpr std::uint32_t kCryptEAsn1Eod = 0x80093102;
inline constexpr std::uint32_t kCryptEAsn1BadTag = 0x8009310B;
inline constexpr std::uint32_t kEInvalidArg = static_cast<std::uint32_t>(korin::kEInvalidArg);
}  // namespace crypto

}  // namespace korin
