-- The configuration database db.mdb: settings row, visible result columns, postage rules.
pragma application_id = 1416588406;

create table [pwd] (
  [ID] integer primary key,
  [IPAddress] varchar(255),
  [User] varchar(255),
  [Password] varchar(255),
  [DataBase] varchar(255),
  [Com] integer,
  [ScaleType] integer,
  [DefaultOpr] varchar(255),
  [check3] integer,
  [check4] integer,
  [check5] integer,
  [check6] integer,
  [check7] integer
);

insert into [pwd] values (1, 'sqlite:orders.db', 'sa', '', 'Tolvane', 1, 0, '', 0, 0, 0, 0, 0);

create table [ListView1Conf] (
  [ColIndex] integer primary key,
  [Sel] integer
);

insert into [ListView1Conf] values (1, 1), (2, 1), (3, 1), (4, 1), (5, 1), (6, 1), (7, 1), (8, 1),
  (9, 1), (10, 1), (11, 1), (12, 1), (13, 1), (14, 1), (15, 1), (16, 1), (17, 1), (18, 1);

-- The scan's checks; every one off at 0.
create table [ScanCheck] (
  [ID] integer primary key,
  [StableOnly] integer,
  [MaxDiffGrams] integer,
  [MaxDiffPercent] integer,
  [ExplainRefusal] integer
);

insert into [ScanCheck] values (1, 0, 0, 0, 0);

-- One row per weight interval of one province of one postage rule.
create table [rule] (
  [ID] integer primary key,
  [Express] varchar(255) collate nocase not null,
  [Province] varchar(255) collate nocase not null,
  [RuleIndex] varchar(19) collate nocase not null,
  [StartWeight] integer not null,
  [EndWeight] integer not null,
  [BeginChargeWeight] integer not null,
  [BeginChargeFee] double not null,
  [DetaWeight] integer not null,
  [DetaFee] double not null
);

-- Serves the postage lookup and the pair deletes (method, province prefix, weight).
create index [rule_pair] on [rule] ([Express], [Province], [StartWeight]);
create index [rule_stamp] on [rule] ([RuleIndex]);
