#include "cloud_database.h"

std::optional<int> CloudError::codeOf(const std::exception_ptr& error) {
    if (!error) {
        return std::nullopt;
    }
    try {
        std::rethrow_exception(error);
    } catch (const CloudError& cloud) {
        return cloud.code();
    } catch (const std::exception&) {
        return std::nullopt;
    }
}
