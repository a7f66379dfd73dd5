-- QUIT rolls back the work since the last COMMIT and ends the script.
create table q (id integer, note varchar(30));
insert into q values (1, 'committed');
commit;
insert into q values (2, 'rolled back by QUIT');
create table r (id integer);
quit;
insert into q values (3, 'never run');
