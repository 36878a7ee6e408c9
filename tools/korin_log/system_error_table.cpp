#include "korin_log/system_error_text.h"

#include "platform/error_codes.h"

namespace korin {

namespace {

struct SystemErrorName {
    std::uint32_t code;
    const char* text;
};

constexpr std::uint32_t hresult(HResult value) {
    return static_cast<std::uint32_t>(value);
}

// Worded as Windows' own message table words them, so that a log read on the
// stand-in and one read on Windows name a code alike.
constexpr SystemErrorName kSystemErrorNames[] = {
    {kErrorSuccess, "The operation completed successfully"},
    {kErrorFileNotFound, "The system cannot find the file specified"},
    {kErrorPathNotFound, "The system cannot find the path specified"},
    {kErrorAccessDenied, "Access is denied"},
    {kErrorInvalidHandle, "The handle is invalid"},
    {kErrorNotEnoughMemory, "Not enough memory resources are available to process this command"},
    {kErrorInvalidData, "The data is invalid"},
    {kErrorOutOfMemory, "Not enough memory resources are available to complete this operation"},
    {kErrorNoMoreFiles, "There are no more files"},
    {kErrorSharingViolation,
     "The process cannot access the file because it is being used by another process"},
    {kErrorHandleEof, "Reached the end of the file"},
    {kErrorNotSupported, "The request is not supported"},
    {kErrorFileExists, "The file exists"},
    {kErrorInvalidParameter, "The parameter is incorrect"},
    {kErrorBufferOverflow, "The file name is too long"},
    {kErrorDiskFull, "There is not enough space on the disk"},
    {kErrorCallNotImplemented, "This function is not supported on this system"},
    {kErrorInsufficientBuffer, "The data area passed to a system call is too small"},
    {kErrorInvalidName, "The filename, directory name, or volume label syntax is incorrect"},
    {kErrorDirNotEmpty, "The directory is not empty"},
    {kErrorBadPathName, "The specified path is invalid"},
    {kErrorAlreadyExists, "Cannot create a file when that file already exists"},
    {kErrorBadExeFormat, "The program is not a valid Win32 application"},
    {kErrorDirectory, "The directory name is invalid"},
    {kErrorFilenameExcedRange, "The filename or extension is too long"},
    {kErrorFileTooLarge, "The file size exceeds the limit allowed and cannot be saved"},
    {kErrorMoreData, "More data is available"},
    {kErrorNoMoreItems, "No more data is available"},
    {kErrorKeyDeleted,
     "Illegal operation attempted on a registry key that has been marked for "
     "deletion"},
    {kErrorInvalidServiceControl, "The requested control is not valid for this service"},
    {kErrorServiceRequestTimeout,
     "The service did not respond to the start or control request in a timely fashion"},
    {kErrorServiceAlreadyRunning, "An instance of the service is already running"},
    {kErrorServiceDisabled,
     "The service cannot be started, either because it is disabled or "
     "because it has no enabled devices associated with it"},
    {kErrorServiceDoesNotExist, "The specified service does not exist as an installed service"},
    {kErrorServiceCannotAcceptCtrl, "The service cannot accept control messages at this time"},
    {kErrorServiceNotActive, "The service has not been started"},
    {kErrorFailedServiceControllerConnect,
     "The service process could not connect to the service "
     "controller"},
    {kErrorProcessAborted, "The process terminated unexpectedly"},
    {kErrorServiceMarkedForDelete, "The specified service has been marked for deletion"},
    {kErrorServiceExists, "The specified service already exists"},
    {kErrorServiceNotInExe,
     "The executable program that this service is configured to run in does not implement the "
     "service"},
    {kErrorInvalidCommandLine, "Invalid command line argument"},
    {kErrorOnlyIfConnected,
     "This operation is supported only when you are connected to the server"},
    {kErrorResourceLangNotFound,
     "The specified resource language ID cannot be found in the image file"},
    {hresult(kSFalse), "Incorrect function"},
    {hresult(kENotImpl), "Not implemented"},
    {hresult(kEFail), "Unspecified error"},
    {hresult(kEInvalidArg), "The parameter is incorrect"},
    {hresult(kEOutOfMemory),
     "Not enough memory resources are available to complete this operation"},
    {hresult(kRpcEChangedMode), "Cannot change thread mode after it is set"},
    {hresult(kRpcETooLate),
     "Security must be initialized before any interfaces are marshalled or "
     "unmarshalled. It cannot be changed once initialized"},
    {hresult(kHResultFileNotFound), "The system cannot find the file specified"},
    {hresult(kENoInterface), "No such interface supported"},
    {hresult(kCoENotInitialized), "CoInitialize has not been called"},
    {kErrorWinHttpTimeout, "The operation timed out"},
    {kErrorWinHttpInternalError,
     "An internal error occurred in the Microsoft Windows HTTP "
     "Services"},
    {kErrorWinHttpInvalidUrl, "The URL is invalid"},
    {kErrorWinHttpNameNotResolved, "The server name or address could not be resolved"},
    {kErrorWinHttpIncorrectHandleState,
     "The operation cannot be carried out because the handle supplied is not in the correct "
     "state"},
    {kErrorWinHttpCannotConnect, "A connection with the server could not be established"},
    {kErrorWinHttpConnectionError, "The connection with the server was terminated abnormally"},
    {kErrorWinHttpInvalidServerResponse, "The server returned an invalid or unrecognized response"},
    {kErrorWinHttpRedirectFailed,
     "The redirection failed because either the scheme changed or all attempts made to redirect "
     "failed"},
    {kErrorWinHttpSecureFailure, "A security error occurred"},
    {kErrorWinHttpSecureChannelError, "An error occurred in the secure channel support"},
    {crypto::kNteBadHash, "Bad Hash"},
    {crypto::kNteBadKey, "Bad Key"},
    {crypto::kNteBadSignature, "Invalid Signature"},
    {crypto::kNteBadAlgId, "Invalid algorithm specified"},
    {crypto::kNteBadFlags, "Invalid flags specified"},
    {crypto::kNteBadType, "Invalid type specified"},
    {crypto::kNteBadHashState, "Hash not valid for use in specified state"},
    {crypto::kNteBadKeyset, "Keyset does not exist"},
    {crypto::kNteProvTypeNotDef, "Provider type not defined"},
    {crypto::kCryptEUnknownAlgo, "Unknown cryptographic algorithm"},
    {crypto::kCryptEAuthAttrMissing,
     "The cryptographic message does not contain an expected "
     "authenticated attribute"},
    {crypto::kCryptEHashValue, "The hash value is not correct"},
    {crypto::kCryptENotFound, "Cannot find object or property"},
    {crypto::kCryptEUnexpectedMsgType,
     "An error occurred while performing an operation on a "
     "cryptographic message"},
    {crypto::kCryptENoSigner,
     "The signed cryptographic message does not have a signer for the "
     "specified signer index"},
    {crypto::kCryptEAsn1Corrupt, "ASN1 corrupted data"},
    {crypto::kCryptEAsn1Eod, "ASN1 unexpected end of data"},
    {crypto::kCryptEAsn1BadTag, "ASN1 bad tag value met"},
    // What Windows' own signature checks answer, beyond the codes above.
    {0x80096010u, "The digital signature of the object did not verify"},
    {0x80092010u, "The certificate is revoked"},
    {0x800B0101u,
     "A required certificate is not within its validity period when verifying "
     "against the current system clock or the timestamp in the signed file"},
    {0x800B0109u,
     "A certificate chain processed, but terminated in a root certificate which is "
     "not trusted by the trust provider"},
};

}  // namespace

std::string systemErrorTableText(std::uint32_t code) {
    for (const SystemErrorName& entry : kSystemErrorNames) {
        if (entry.code == code) {
            return entry.text;
        }
    }
    return {};
}

}  // namespace korin
