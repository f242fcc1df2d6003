// Helpers of the database suites: a COM thread, a database object, temp files, and
// running a statement expecting the thrown error object.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

#include "KestroCommonModule.h"
#include "adoint.h"  // the ADO type and direction values the parameters take

class DatabaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
    char pattern[] = "/tmp/kcm-db.XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(pattern));
    folder_ = pattern;
    database_ = static_cast<IDataBase*>(CreateDataBase(IID_IDataBase, KCM_INTERFACE_VERSION));
    ASSERT_NE(nullptr, database_);
  }
  void TearDown() override {
    if (database_ != nullptr) database_->Ex_Release();
    std::string command = "rm -rf '" + folder_ + "'";
    if (system(command.c_str()) != 0) ADD_FAILURE() << "could not remove " << folder_;
    CoUninitialize();
  }

  // An empty file: SQLite opens it as an empty database.
  std::wstring EmptyDatabaseFile(const char* name = "test.db") {
    const std::string path = folder_ + "/" + name;
    FILE* file = fopen(path.c_str(), "w");
    if (file != nullptr) fclose(file);
    return std::wstring(path.begin(), path.end());
  }

  void OpenSqlite() {
    database_->SetJetConnectionInfo(EmptyDatabaseFile().c_str());
    ASSERT_TRUE(database_->OpenConnection());
  }

  std::string folder_;
  IDataBase* database_ = nullptr;
};

// Runs `operation`, which must throw the error object; answers it (or null).
template <class Operation>
IADOError* ThrownBy(Operation operation) {
  try {
    operation();
  } catch (IADOError* error) {
    return error;
  }
  return nullptr;
}

inline std::string Narrow(const wchar_t* text) { return std::string(text, text + wcslen(text)); }
