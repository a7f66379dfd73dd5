-- SET BAIL ON leaves at the first failure and QUIT leaves at once: neither
-- commits the work since the last COMMIT. This script ends at its failure.
create table q (id integer, note varchar(30));
insert into q values (1, 'committed');
commit;
insert into q values (2, 'undone: DDL commits alone');
create table r (id integer);
insert into r values (1);
set bail on;
insert into q values ('x', 'fails, and the run ends');
insert into q values (3, 'never run');
quit;
