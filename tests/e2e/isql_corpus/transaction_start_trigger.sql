-- A trigger on transaction start counts the transactions started from its
-- creation on: a row for each one committed. Only the count is kept: isql
-- begins its main transaction at the connect and one more transaction at
-- its end, while a run begins its kept transaction at the first statement
-- that needs it; the numbers agree, the moments do not.
create table started (what varchar(10));
set term ^;
create trigger count_starts on transaction start as
begin
  insert into started values ('started');
end^
set term ;^
create table t (id integer);
insert into t values (1);
commit;
insert into t values (2);
rollback;
create table u (id integer);
insert into t values (3);
insert into u values (1);
set transaction;
insert into t values (4);
commit;
insert into u values (2);
