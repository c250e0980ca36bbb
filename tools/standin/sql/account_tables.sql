-- The account tables as the game server defines them, column for column and in this order: the
-- account tool inserts with positional VALUES lists. The stand-in builds its default tables by
-- running this script, so it is the one description of them.
USE lin2db
GO
CREATE TABLE dbo.user_auth (
    account varchar(14) NOT NULL CONSTRAINT PK_user_auth PRIMARY KEY CLUSTERED,
    password binary(16) NOT NULL,
    quiz1 varchar(255) NOT NULL,
    quiz2 varchar(255) NOT NULL,
    answer1 binary(32) NOT NULL,
    answer2 binary(32) NOT NULL
)
GO
CREATE TABLE dbo.user_account (
    uid int IDENTITY(1, 1) NOT NULL,
    account varchar(14) NOT NULL CONSTRAINT PK_user_account PRIMARY KEY CLUSTERED,
    pay_stat int NOT NULL CONSTRAINT DF_user_account_pay_stat DEFAULT (0),
    login_flag int NOT NULL CONSTRAINT DF_user_account_login_flag DEFAULT (0),
    warn_flag int NOT NULL CONSTRAINT DF_user_account_warn_flag DEFAULT (0),
    block_flag int NOT NULL CONSTRAINT DF_user_account_block_flag DEFAULT (0),
    block_flag2 int NOT NULL CONSTRAINT DF_user_account_block_flag2 DEFAULT (0),
    block_end_date datetime NULL,
    last_login datetime NULL,
    last_logout datetime NULL,
    subscription_flag int NOT NULL CONSTRAINT DF_user_account_subscription_flag DEFAULT (0),
    last_world tinyint NULL,
    last_game int NULL,
    last_ip varchar(15) NULL
)
GO
USE lin2world
GO
CREATE TABLE dbo.builder_account (
    account_name nvarchar(50) NOT NULL CONSTRAINT PK_builder_account PRIMARY KEY CLUSTERED,
    default_builder int NOT NULL CONSTRAINT DF_builder_account_default_builder DEFAULT (0),
    account_id int NOT NULL CONSTRAINT DF_builder_account_account_id DEFAULT (0)
)
GO
