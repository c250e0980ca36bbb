#pragma once
// The provider seam implemented over ODBC 3 (unixODBC): "SQLNCLI.1" maps to Microsoft's ODBC Driver
// 18 or 17 for SQL Server when installed, "SQLOLEDB.1" to the FreeTDS driver.
//
// Mapping notes
//  * Initialisation properties become connection-string keywords (OdbcConnectString.h); the login
//    time-out is the SQL_ATTR_LOGIN_TIMEOUT connection attribute (FreeTDS has no keyword for it).
//  * A session is the ODBC connection; a command is a statement executed with SQLExecDirect; a rowset
//    is the statement's current result, fetched with a row-wise block cursor
//    (SQL_ATTR_ROW_ARRAY_SIZE = rows asked, SQL_ATTR_ROW_BIND_TYPE = the caller's row size) straight
//    into the caller's rows; values whose C layout differs (bit, OLE date, currency) go through a small
//    conversion area. Rows with stream bindings are read one at a time with SQLGetData in pieces.
//  * Transactions: SQL_ATTR_AUTOCOMMIT off starts one, SQLEndTran ends it; isolation levels map to
//    SQL_ATTR_TXN_ISOLATION.
//  * DataSourceInfo: DBMS name and version from the server; the provider version is the driver's own
//    when its major number is 7 or more (Microsoft's drivers), otherwise "09.00.0000" followed by the
//    driver's name and version in parentheses (FreeTDS reports "01.03.0017", which the layers above
//    would refuse as an old client); the OLE DB version is the driver's ODBC version.
//  * Errors: OdbcDiagnostics.h. FreeTDS gives no message state and no procedure name (0 and "").
#include "data/provider/OdbcConnectString.h"
#include "data/provider/Provider.h"

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace provider {

class OdbcHandle;

struct DriverChoice {
    std::string driver;  // odbcinst.ini name or library path
    DriverFamily family = DriverFamily::FreeTDS;
};

class OdbcProvider : public Provider {
public:
    static OdbcProvider& Instance();

    HRESULT CreateDataSource(std::string_view classId, std::unique_ptr<DataSource>& dataSource) override;

    // The driver that serves a provider class here, or nullopt.
    std::optional<DriverChoice> DriverFor(std::string_view classId);

    // The process's ODBC environment (ODBC 3), allocated on first use; null, with the reason as this
    // thread's error, when the driver manager refuses one.
    void* Environment();

    OdbcProvider();
    ~OdbcProvider() override;

private:
    bool DriverRegistered(std::string_view name);
    std::optional<DriverChoice> FindDriver(const std::string& upperClassId);

    std::mutex mutex_;
    std::unique_ptr<OdbcHandle> environment_;
    std::map<std::string, std::optional<DriverChoice>> drivers_;
};

}  // namespace provider
