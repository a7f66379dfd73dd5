SET NAMES UTF8;
-- Text arrives as written: the run attaches with the character set named
-- before the first statement (isql-fb runs this with -ch UTF8).
create table c (id integer, s varchar(20) character set utf8);
insert into c values (1, 'café');
insert into c values (2, 'très');
set term ^;
create procedure cp returns (s varchar(20) character set utf8) as
begin
  s = 'très';
  suspend;
end^
set term ;^
insert into c select 3, s from cp;
insert into c select 4, s from c where s = 'CAFE' collate unicode_ci_ai;
commit;
