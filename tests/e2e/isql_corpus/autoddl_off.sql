-- SET AUTODDL OFF: DDL waits in the one transaction for the next COMMIT;
-- a failing DDL with AUTODDL ON undoes itself alone.
set autoddl off;
create table a (id integer);
create sequence g;
commit;
insert into a values (1);
create table b (id integer);
commit;
insert into b values (1);
set autoddl on;
create table a (id integer);
create table c (id integer references nosuch (id));
insert into a values (2);
alter table a add note varchar(20);
insert into a values (3, 'after alter');
