-- The two databases and the three account tables the program and its tests use, for a scratch
-- SQL Server instance. Columns in the game server's order, with the types the program relies on.
-- Run as an administrator, e.g. sqlcmd -S host,port -U sa -P '...' -i tests/support/account_tables.sql
CREATE DATABASE lin2db
GO
CREATE DATABASE lin2world
GO
USE lin2db
GO
CREATE TABLE dbo.user_auth (
    account varchar(14) NOT NULL PRIMARY KEY,
    password binary(16) NOT NULL,
    quiz1 varchar(255) NOT NULL,
    quiz2 varchar(255) NOT NULL,
    answer1 binary(32) NOT NULL,
    answer2 binary(32) NOT NULL
)
CREATE TABLE dbo.user_account (
    uid int IDENTITY(1,1) NOT NULL PRIMARY KEY,
    account varchar(14) NOT NULL UNIQUE,
    pay_stat int NULL,
    login_flag int NULL,
    warn_flag int NULL,
    block_flag int NULL,
    block_flag2 int NULL,
    block_end_date datetime NULL,
    last_login datetime NULL,
    last_logout datetime NULL,
    subscription_flag int NULL,
    last_world tinyint NULL,
    last_game int NULL,
    last_ip varchar(15) NULL
)
GO
USE lin2world
GO
CREATE TABLE dbo.builder_account (
    account_name nvarchar(50) NOT NULL,
    default_builder int NULL,
    account_id int NULL
)
GO
