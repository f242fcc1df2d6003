// The ADO stand-in on its own: objects from the class registry, an SQLite connection,
// client-cursor navigation, the Errors collection and the thread's error information.
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>

#include <string>

#include "KestroAdo.h"
#include "comdef.h"

namespace {

class AdoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
    ASSERT_EQ(S_OK, KcmAdoRegisterClasses());  // also makes this program load the library
    char pattern[] = "/tmp/kcm-ado.XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(pattern));
    folder_ = pattern;
    FILE* file = fopen((folder_ + "/a.db").c_str(), "w");
    fclose(file);
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_Connection, nullptr, CLSCTX_ALL, IID__Connection,
                                     reinterpret_cast<void**>(&connection_)));
  }
  void TearDown() override {
    connection_->Release();
    remove((folder_ + "/a.db").c_str());
    remove(folder_.c_str());
    CoUninitialize();
  }
  HRESULT Open(const std::wstring& text) {
    _bstr_t string(text.c_str());
    return connection_->Open(string, nullptr, nullptr, adConnectUnspecified);
  }
  std::wstring Jet() {
    return L"Provider = Microsoft.Jet.OLEDB.4.0 ;\t Data Source=" + std::wstring(folder_.begin(), folder_.end()) + L"/a.db";
  }
  _Recordset* Execute(const wchar_t* sql) {
    _Recordset* recordset = nullptr;
    EXPECT_EQ(S_OK, connection_->Execute(_bstr_t(sql), nullptr, adCmdText, &recordset));
    return recordset;
  }

  std::string folder_;
  _Connection* connection_ = nullptr;
};

TEST_F(AdoTest, ClientCursorCountsRowsAndMovesBothWays) {
  ASSERT_EQ(S_OK, Open(Jet()));
  Execute(L"CREATE TABLE t (a INTEGER); INSERT INTO t VALUES (1); INSERT INTO t VALUES (2);")->Release();
  _Recordset* recordset = Execute(L"SELECT a FROM t ORDER BY a");
  ADO_LONGPTR count = 0;
  recordset->get_RecordCount(&count);
  EXPECT_EQ(2, count);
  EXPECT_EQ(S_OK, recordset->MoveLast());
  EXPECT_EQ(S_OK, recordset->MoveNext());
  VARIANT_BOOL atEnd = VARIANT_FALSE;
  recordset->get_EOF(&atEnd);
  EXPECT_EQ(VARIANT_TRUE, atEnd);
  EXPECT_EQ(ADO_ERROR_HRESULT(adErrNoCurrentRecord), recordset->MoveNext());
  EXPECT_EQ(S_OK, recordset->MoveFirst());
  ADOFields* fields = nullptr;
  recordset->get_Fields(&fields);
  VARIANT index;
  VariantInit(&index);
  index.vt = VT_I4;
  index.lVal = 0;
  ADOField* field = nullptr;
  ASSERT_EQ(S_OK, fields->get_Item(index, &field));
  VARIANT value;
  VariantInit(&value);
  field->get_Value(&value);
  EXPECT_EQ(VT_I4, value.vt);
  EXPECT_EQ(1, value.lVal);
  recordset->Close();
  EXPECT_EQ(ADO_ERROR_HRESULT(adErrObjectClosed), field->get_Value(&value));  // fields die with the rows
  field->Release();
  fields->Release();
  recordset->Release();
}

TEST_F(AdoTest, ProviderErrorsFillTheErrorsCollectionAndTheThreadsErrorInfo) {
  ASSERT_EQ(S_OK, Open(Jet()));
  _Recordset* recordset = nullptr;
  const HRESULT result = connection_->Execute(_bstr_t(L"SELECT * FROM missing_table"), nullptr, adCmdText, &recordset);
  EXPECT_EQ(DISP_E_EXCEPTION, result);
  EXPECT_EQ(nullptr, recordset);
  IErrorInfo* info = nullptr;
  ASSERT_EQ(S_OK, GetErrorInfo(0, &info));
  const _com_error error(result, info);
  EXPECT_NE(nullptr, wcsstr(static_cast<const wchar_t*>(error.Description()), L"no such table"));
  ADOErrors* errors = nullptr;
  connection_->get_Errors(&errors);
  LONG count = 0;
  errors->get_Count(&count);
  EXPECT_GE(count, 1);
  errors->Release();
}

TEST_F(AdoTest, OpenRefusesAnOpenConnectionAndUnknownProviders) {
  EXPECT_EQ(ADO_ERROR_HRESULT(adErrProviderNotFound), Open(L"Provider=Nope;Data Source=x"));
  ASSERT_EQ(S_OK, Open(Jet()));
  EXPECT_EQ(ADO_ERROR_HRESULT(adErrObjectOpen), Open(Jet()));
  EXPECT_EQ(S_OK, connection_->Close());
  EXPECT_EQ(ADO_ERROR_HRESULT(adErrObjectClosed), connection_->Close());
}

TEST_F(AdoTest, ADeletedParameterTheHostStillHoldsKeepsItsStateAndIsNotHandedOutAgain) {
  _Command* command = nullptr;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_Command, nullptr, CLSCTX_ALL, IID__Command, reinterpret_cast<void**>(&command)));
  ADOParameters* parameters = nullptr;
  command->get_Parameters(&parameters);
  auto make = [&](const wchar_t* name, LONG number) {
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_I4;
    value.lVal = number;
    _Parameter* parameter = nullptr;
    EXPECT_EQ(S_OK, command->CreateParameter(_bstr_t(name), adInteger, adParamInput, 4, value, &parameter));
    EXPECT_EQ(S_OK, parameters->Append(parameter));
    return parameter;
  };
  VARIANT first;
  VariantInit(&first);
  first.vt = VT_I4;
  first.lVal = 0;
  _Parameter* held = make(L"held", 1);
  make(L"dropped", 2)->Release();  // only the collection holds this one
  EXPECT_EQ(S_OK, parameters->Delete(first));
  EXPECT_EQ(S_OK, parameters->Delete(first));
  _Parameter* fresh = make(L"fresh", 3);  // may reuse "dropped", never "held"
  _Parameter* another = make(L"another", 4);
  EXPECT_NE(held, fresh);
  EXPECT_NE(held, another);
  BSTR name = nullptr;
  held->get_Name(&name);
  EXPECT_STREQ(L"held", name);
  SysFreeString(name);
  VARIANT value;
  VariantInit(&value);
  fresh->get_Value(&value);
  EXPECT_EQ(3, value.lVal);
  fresh->get_Name(&name);
  EXPECT_STREQ(L"fresh", name);
  SysFreeString(name);
  ParameterDirectionEnum direction = adParamUnknown;
  another->get_Direction(&direction);
  EXPECT_EQ(adParamInput, direction);
  held->Release();
  fresh->Release();
  another->Release();
  parameters->Release();
  command->Release();
}

}  // namespace
