-- SET TRANSACTION in its forms: each rolls back the work before it and the
-- transaction it starts holds the work until COMMIT or ROLLBACK.
create table t (id integer, note varchar(40));
commit;
set transaction read only;
insert into t values (1, 'fails: read only');
commit;
set transaction isolation level snapshot table stability;
insert into t values (2, 'table stability');
commit work;
set transaction read write wait isolation level read committed record_version;
insert into t values (3, 'read committed, rolled back');
rollback work;
set transaction no wait snapshot;
insert into t values (4, 'no wait');
commit;
insert into t values (5, 'rolled back by the next');
set transaction lock timeout 5;
insert into t values (6, 'lock timeout');
commit retain;
insert into t values (7, 'after commit retain');
rollback retain;
insert into t values (8, 'after rollback retain');
