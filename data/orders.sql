-- The embedded order database: the tables of the order-management system as this program
-- uses them, with the types SQL Server would give. Date-times are ISO text
-- 'yyyy-mm-dd hh:mm:ss', so text order is time order.
pragma journal_mode = wal;

create table [df_Trade] (
  [ID] integer primary key,
  [TradeNO] varchar(50),
  [sTradeNO] varchar(500),
  [Shop] varchar(100) collate nocase,
  [PostID] varchar(50) collate nocase,
  [TradeStatus] varchar(20) collate nocase,
  [bSnd] bit not null default 0,
  [sndStyle] varchar(50) collate nocase,
  [Province] varchar(50) collate nocase,
  [City] varchar(50),
  [Area] varchar(50),
  [Adr] varchar(255),
  [Zip] varchar(20),
  [phone] varchar(50),
  [CustomerID] varchar(100),
  [CustomerName] varchar(100),
  [CustomerNeeds] varchar(1000),
  [Remark] varchar(1000),
  [weight] int,
  [weight2] int,
  [PostFee2] money,
  [RcvValue] money,
  [goodsCost] money,
  [otherFee] money,
  [profit] money,
  [profitCalc] varchar(255),
  [overtime] datetime,
  [sndTime] datetime,
  [sndOperator] varchar(50) collate nocase
);
create index [df_Trade_PostID] on [df_Trade] ([PostID]);
create index [df_Trade_overtime] on [df_Trade] ([overtime]);

create table [df_TradeGoods] (
  [ID] integer primary key,
  [TradeID] int not null,
  [GoodsName] varchar(255),
  [Spec] varchar(255),
  [Count] varchar(20)
);
create index [df_TradeGoods_TradeID] on [df_TradeGoods] ([TradeID]);

create table [df_SndStyle] (
  [ID] integer primary key,
  [Style] varchar(50) collate nocase,
  [bMonth] bit not null default 0
);

create table [df_Shop] (
  [ID] integer primary key,
  [Name] varchar(100) collate nocase
);

create table [df_Staff] (
  [ID] integer primary key,
  [Name] varchar(50) collate nocase
);

create table [df_PostageCharge] (
  [ID] integer primary key,
  [TradeID] int,
  [TradeType] varchar(20),
  [PackageBill] varchar(50),
  [Postage] money,
  [SndDate] datetime,
  [FreightCorp] varchar(50),
  [ChargeStatus] int,
  [Summary] varchar(255),
  [Remark] varchar(1000),
  [SndTo] varchar(255),
  [Operator] varchar(50)
);

create table [df_TradeLog] (
  [ID] integer primary key,
  [TradeID] int,
  [Time] datetime,
  [User] varchar(50),
  [Event] varchar(50)
);
create index [df_TradeLog_TradeID] on [df_TradeLog] ([TradeID]);
create index [df_TradeLog_Time] on [df_TradeLog] ([Time]);

create table [es_TradeLog] (
  [ID] integer primary key,
  [TradeNO] varchar(50) collate nocase,
  [SndID] varchar(50) collate nocase,
  [PostStatus] int
);
create index [es_TradeLog_TradeNO] on [es_TradeLog] ([TradeNO]);
create index [es_TradeLog_SndID] on [es_TradeLog] ([SndID]);
