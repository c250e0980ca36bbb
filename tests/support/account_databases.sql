-- The two databases of the account tables, for a scratch SQL Server instance. Run as an administrator
-- before tools/standin/sql/account_tables.sql, the one description of the tables themselves:
--   sqlcmd -S host,port -U sa -P '...' -i tests/support/account_databases.sql -i tools/standin/sql/account_tables.sql
CREATE DATABASE lin2db
GO
CREATE DATABASE lin2world
GO
