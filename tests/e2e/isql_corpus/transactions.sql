-- isql's transactions: one transaction until COMMIT, a failing statement
-- undoes itself, DDL commits alone unless SET AUTODDL OFF, savepoints, and
-- SET TRANSACTION (which rolls back the work so far in a script).
create table t (id integer, note varchar(40));
insert into t values (1, 'committed');
commit;
insert into t values (2, 'rolled back');
rollback;
insert into t values (3, 'rolled back past a DDL');
create table u (id integer);
rollback;
insert into t values (4, 'kept past a savepoint');
savepoint s1;
insert into t values (5, 'undone to the savepoint');
rollback to savepoint s1;
release savepoint s1 only;
commit;
insert into t values (6, 'kept past a failure');
insert into t values ('x', 'fails alone');
insert into nosuch values (1);
commit;
set autoddl off;
create table v (id integer);
insert into t values (7, 'rolled back with the DDL');
rollback;
set autoddl on;
set transaction read committed no wait;
insert into t values (8, 'in a set transaction');
commit;
insert into t values (9, 'rolled back by set transaction');
set transaction;
insert into t values (10, 'kept');
create table w (id integer);
insert into w values (1);
update t set note = note || ' and updated' where id = 10;
