#pragma once

#include <gtest/gtest.h>

#include <QTemporaryDir>

namespace test {

// Points $XDG_CONFIG_HOME at an empty folder for the length of a test, so preferences are
// written there; child processes started by the test inherit it.
class TemporaryConfigHome : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_home.isValid());  // never the user's own folder
        qputenv("XDG_CONFIG_HOME", m_home.path().toUtf8());
    }
    void TearDown() override { qputenv("XDG_CONFIG_HOME", m_previous); }

    QString path(const QString& relative) const { return m_home.filePath(relative); }

private:
    QTemporaryDir m_home;
    QByteArray m_previous = qgetenv("XDG_CONFIG_HOME");
};

}  // namespace test
