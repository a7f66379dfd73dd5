-- SET ROWCOUNT limits what a select fetches, so what fetching does (a
-- sequence advanced, rows written) stops there; SET PLANONLY without a
-- switch toggles.
create table t (id integer);
create sequence g;
insert into t values (1);
insert into t values (2);
insert into t values (3);
insert into t values (4);
insert into t values (5);
create table seen (v bigint);
set rowcount 2;
select gen_id(g, 1) from t;
set rowcount 0;
insert into seen select gen_id(g, 0) from rdb$database;
set maxrows 4;
select gen_id(g, 10) from t;
set maxrows 0;
insert into seen select gen_id(g, 0) from rdb$database;
set planonly;
insert into seen values (-1);
select gen_id(g, 100) from t;
set planonly;
insert into seen select gen_id(g, 0) from rdb$database;
