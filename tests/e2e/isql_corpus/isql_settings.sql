-- isql's own commands: display settings change nothing; ROWCOUNT limits
-- fetches, PLANONLY prepares without running, EXIT commits and ends.
set echo on;
set list on;
set count on;
set stats on;
set stat off;
set plan off;
set heading off;
set warnings on;
set wng off;
set blob all;
set blobdisplay 1;
set time on;
set width note 10;
set sqlda_display on;
set sqlda_display off;
set explain off;
set keep_tran_params on;
set maxrows 0;
set sql dialect 3;
set autoddl on;
set bail off;
help;
show tables;
create table p (id integer);
set term ^;
create procedure writer returns (n integer) as
begin
  n = 0;
  while (n < 10) do
  begin
    n = n + 1;
    insert into p values (:n);
    suspend;
  end
end^
set term ;^
set rowcount 3;
select * from writer;
set rowcount 0;
select count(*) from writer;
set planonly on;
insert into p values (100);
create table never_made (id integer);
commit;
set planonly off;
insert into p values (200);
set names win1252;
exit;
insert into p values (999);
