#include "error.h"

const char* Error::what() const noexcept {
    if (m_what.empty()) {
        try {
            m_what = errorString().toStdString();
        } catch (...) {
            return "error";
        }
    }
    return m_what.c_str();
}
