// How zveklc-cli ends: a contract that outside scripts rely on. The
// statuses of a conversion that ran are the document's ResultCode values.
#pragma once

#include "lyrics/LyricsDocument.h"

namespace zvek {

enum class ExitStatus : int {
    Ok = kResultOk,
    Failure = 1,                             // any failure without a status of its own
    NotFound = kResultFileNotFound,          // an input or reference file not found, or a folder
    PageNotFetched = kResultPageNotFetched,  // the reference page did not come
    PartlyConverted = kResultPartial,        // a tag file converted only in part
    Usage = 64,                              // a wrong command line (EX_USAGE)
};

// The status for the document's ResultCode after a conversion.
inline ExitStatus ExitStatusOf(int resultCode) {
    switch (resultCode) {
    case kResultOk:
    case kResultFileNotFound:
    case kResultPageNotFetched:
    case kResultPartial:
        return static_cast<ExitStatus>(resultCode);
    default:
        return ExitStatus::Failure;
    }
}

}  // namespace zvek
