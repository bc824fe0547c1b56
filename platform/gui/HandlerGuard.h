#pragma once

#include "platform/Error.h"
#include "platform/Messages.h"

#include <exception>
#include <new>

namespace tv {

// Runs a handler and turns an error that escapes it into the error box; no exception ever
// crosses the event loop. Returns false when the handler ended with an error.
template <class F> bool guarded(F&& handler) noexcept {
    try {
        handler();
        return true;
    } catch (const Error& e) {
        messageBoxes().error(e.message());
    } catch (const std::bad_alloc&) {
        messageBoxes().error(QStringLiteral("Out of memory."));
    } catch (const std::exception& e) {
        messageBoxes().error(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        messageBoxes().error(QStringLiteral("An unknown error occurred."));
    }
    return false;
}

} // namespace tv
