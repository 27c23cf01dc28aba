#include "failure_text.h"

#include <QCoreApplication>

#include "core/error.h"

QString failureText(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const CancelledError&) {
        return {};
    } catch (const Error& known) {
        return known.errorString();
    } catch (const std::exception& other) {
        return QString::fromUtf8(other.what());
    } catch (...) {
        return QCoreApplication::translate("Error", "Unknown error");
    }
}
