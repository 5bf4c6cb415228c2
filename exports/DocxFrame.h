#pragma once
// The frame every export runs its work in. Nothing thrown escapes to the host:
// out of memory and any other exception end the call with its failure value
// and a text ("Out of memory while saving the document"). A call on a handle
// that is already inside a call (a host's event handler running while the
// library lets events through) is refused with "Document is busy"; closing
// such a handle waits until the running call returns.
#include "DocxHandle.h"

#include <type_traits>

// Records the text of the exception being handled, for a call that was
// `doing` something ("saving the document"). Only called inside a catch block.
void recordCurrentException(DocxHandle *h, const char *doing) noexcept;

// Runs `body` (returning Result) and returns its result, or `failure` when it
// throws. `reportTo` receives the text of an exception (library-wide when null).
template <typename Result, typename Body>
Result guardedCall(DocxHandle *reportTo, Result failure, const char *doing, Body &&body) noexcept
{
    try {
        return body();
    } catch (...) {
        recordCurrentException(reportTo, doing);
    }
    return failure;
}

// An export without a handle (or one that must work on a busy handle).
template <typename Result, typename Body>
Result libraryCall(Result failure, const char *doing, Body &&body) noexcept
{
    return guardedCall(nullptr, failure, doing, body);
}

// An export working on `h`: the failure value at once when the handle or its
// document is null (no text), "Document is busy" when `h` is inside a call.
template <typename Result, typename Body>
Result handleCall(DocxHandle *h, Result failure, const char *doing, Body &&body) noexcept
{
    if (!usable(h))
        return failure;
    if (h->busy) {
        recordFailure(h, LXDOCX_ERR_BUSY, QStringLiteral("Document is busy"));
        return failure;
    }
    h->busy = true;
    const Result result = guardedCall(h, failure, doing, body);
    h->busy = false;
    if (!h->closeRequested)
        return result;
    destroyHandle(h);
    // A pointer into the handle's buffers died with it.
    if constexpr (std::is_pointer_v<Result>)
        return failure;
    else
        return result;
}
