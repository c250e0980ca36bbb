/****** Scripted by the server's own tools: the game server's account databases ******/
/****** Object:  Database [lin2db]    Script Date: 2024-03-01 10:00:00 ******/
IF NOT EXISTS (SELECT name FROM master.dbo.sysdatabases WHERE name = N'lin2db')
	CREATE DATABASE [lin2db] COLLATE Korean_Wansung_CI_AS
GO
IF NOT EXISTS (SELECT name FROM sys.databases WHERE name = N'lin2log')
BEGIN
	CREATE DATABASE [lin2log] COLLATE Korean_Wansung_CI_AS
END
GO
USE [lin2db]
GO
if exists (select * from dbo.sysobjects where id = object_id(N'[dbo].[ap_GUserAuth]') and OBJECTPROPERTY(id, N'IsProcedure') = 1)
drop procedure [dbo].[ap_GUserAuth]
GO
if exists (select * from dbo.sysobjects where id = object_id(N'[dbo].[user_auth]') and OBJECTPROPERTY(id, N'IsUserTable') = 1)
drop table [dbo].[user_auth]
GO
SET ANSI_NULLS ON
GO
SET QUOTED_IDENTIFIER ON
GO
SET ANSI_PADDING ON
GO
/****** Object:  Table [dbo].[user_auth]    Script Date: 2024-03-01 10:00:00 ******/
IF NOT EXISTS (SELECT * FROM sys.objects WHERE object_id = OBJECT_ID(N'[dbo].[user_auth]') AND type in (N'U'))
BEGIN
CREATE TABLE [dbo].[user_auth](
	[account] [varchar](14) COLLATE Korean_Wansung_CI_AS NOT NULL,
	[password] [binary](16) NOT NULL,
	[quiz1] [varchar](255) COLLATE Korean_Wansung_CI_AS NOT NULL,
	[quiz2] [varchar](255) COLLATE Korean_Wansung_CI_AS NOT NULL,
	[answer1] [binary](32) NOT NULL,
	[answer2] [binary](32) NOT NULL,
 CONSTRAINT [PK_user_auth] PRIMARY KEY CLUSTERED 
(
	[account] ASC
)WITH (PAD_INDEX  = OFF, STATISTICS_NORECOMPUTE  = OFF, IGNORE_DUP_KEY = OFF, ALLOW_ROW_LOCKS  = ON, ALLOW_PAGE_LOCKS  = ON) ON [PRIMARY]
) ON [PRIMARY]
END
GO
SET ANSI_PADDING OFF
GO
CREATE TABLE [dbo].[user_account] (
	[uid] [int] IDENTITY (1, 1) NOT NULL ,
	[account] [varchar] (14) COLLATE Korean_Wansung_CI_AS NOT NULL ,
	[pay_stat] [int] NOT NULL ,
	[login_flag] [int] NOT NULL ,
	[warn_flag] [int] NOT NULL ,
	[block_flag] [int] NOT NULL ,
	[block_flag2] [int] NOT NULL ,
	[block_end_date] [datetime] NULL ,
	[last_login] [datetime] NULL ,
	[last_logout] [datetime] NULL ,
	[subscription_flag] [int] NOT NULL ,
	[last_world] [tinyint] NULL ,
	[last_game] [int] NULL ,
	[last_ip] [varchar] (15) COLLATE Korean_Wansung_CI_AS NULL 
) ON [PRIMARY]
GO
ALTER TABLE [dbo].[user_account] WITH NOCHECK ADD 
	CONSTRAINT [PK_user_account] PRIMARY KEY  CLUSTERED 
	(
		[account]
	) WITH  FILLFACTOR = 90  ON [PRIMARY] 
GO
ALTER TABLE [dbo].[user_account] ADD 
	CONSTRAINT [DF_user_account_pay_stat] DEFAULT (0) FOR [pay_stat],
	CONSTRAINT [DF_user_account_login_flag] DEFAULT (0) FOR [login_flag],
	CONSTRAINT [DF_user_account_warn_flag] DEFAULT (0) FOR [warn_flag],
	CONSTRAINT [DF_user_account_block_flag] DEFAULT (0) FOR [block_flag],
	CONSTRAINT [DF_user_account_block_flag2] DEFAULT (0) FOR [block_flag2],
	CONSTRAINT [DF_user_account_subscription_flag] DEFAULT ((0)) FOR [subscription_flag]
GO
 CREATE  INDEX [IX_user_account_uid] ON [dbo].[user_account]([uid]) WITH  FILLFACTOR = 90 ON [PRIMARY]
GO
SET QUOTED_IDENTIFIER ON 
GO
SET ANSI_NULLS ON 
GO
/****** Object:  Stored Procedure dbo.ap_GUserAuth    Script Date: 2024-03-01 10:00:00 ******/
CREATE PROCEDURE [dbo].[ap_GUserAuth]
	@account varchar(14)
AS
SET NOCOUNT ON
SELECT password, quiz1, quiz2, answer1, answer2 FROM user_auth WITH (NOLOCK) WHERE account = @account
GO
GRANT EXECUTE ON [dbo].[ap_GUserAuth] TO [public]
GO
USE [lin2world]
GO
/****** Object:  Table [dbo].[builder_account]    Script Date: 2024-03-01 10:00:00 ******/
IF OBJECT_ID(N'[dbo].[builder_account]', N'U') IS NULL
BEGIN
CREATE TABLE [dbo].[builder_account](
	[account_name] [nvarchar](50) NOT NULL,
	[default_builder] [int] NOT NULL CONSTRAINT [DF_builder_account_default_builder] DEFAULT ((0)),
	[account_id] [int] NOT NULL CONSTRAINT [DF_builder_account_account_id] DEFAULT ((0)),
 CONSTRAINT [PK_builder_account] PRIMARY KEY CLUSTERED 
(
	[account_name] ASC
) WITH FILLFACTOR = 90 ON [PRIMARY]
) ON [PRIMARY]
END
GO
CREATE TABLE [dbo].[user_data] (
	[char_id] [int] IDENTITY (1, 1) NOT NULL ,
	[char_name] [nvarchar] (50) NOT NULL ,
	[account_name] [nvarchar] (50) NOT NULL ,
	[account_id] [int] NOT NULL ,
	[pledge_id] [int] NOT NULL CONSTRAINT [DF_user_data_pledge_id] DEFAULT (0),
	[builder] [tinyint] NOT NULL CONSTRAINT [DF_user_data_builder] DEFAULT (0),
	[create_date] [datetime] NULL ,
	[memo] [text] COLLATE Korean_Wansung_CI_AS NULL 
) ON [PRIMARY] TEXTIMAGE_ON [PRIMARY]
GO
ALTER TABLE [dbo].[user_data] WITH NOCHECK ADD 
	CONSTRAINT [PK_user_data] PRIMARY KEY  CLUSTERED ([char_id]) WITH  FILLFACTOR = 90  ON [PRIMARY]
GO
CREATE UNIQUE NONCLUSTERED INDEX [IX_user_data_char_name] ON [dbo].[user_data] ([char_name] ASC)
WITH (PAD_INDEX = OFF, STATISTICS_NORECOMPUTE = OFF, SORT_IN_TEMPDB = OFF, IGNORE_DUP_KEY = OFF, DROP_EXISTING = OFF, ONLINE = OFF, ALLOW_ROW_LOCKS = ON, ALLOW_PAGE_LOCKS = ON) ON [PRIMARY]
GO
ALTER TABLE [dbo].[user_data] WITH CHECK ADD CONSTRAINT [FK_user_data_builder_account] FOREIGN KEY([account_name])
REFERENCES [dbo].[builder_account] ([account_name])
GO
/****** Object:  View dbo.v_builders ******/
CREATE VIEW [dbo].[v_builders]
AS
SELECT account_name, default_builder FROM dbo.builder_account WHERE default_builder > 0
GO
/****** Object:  Trigger dbo.tr_user_data_delete ******/
CREATE TRIGGER [dbo].[tr_user_data_delete] ON [dbo].[user_data] FOR DELETE
AS
DELETE FROM builder_account WHERE account_name IN (SELECT account_name FROM deleted)
GO
USE [lin2log]
GO
CREATE TABLE [dbo].[log_data] (
	[act_time] [datetime] NOT NULL ,
	[log_id] [int] NOT NULL ,
	[actor_account] [varchar] (14) NULL 
) ON [PRIMARY]
GO
CREATE CLUSTERED INDEX [IX_log_data_act_time] ON [dbo].[log_data]([act_time]) ON [PRIMARY]
GO
