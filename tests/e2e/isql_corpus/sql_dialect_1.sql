-- SET SQL DIALECT 1 after the first statement: later statements are
-- prepared in dialect 1, where double quotes make strings.
create table t (id integer, note varchar(20));
insert into t values (1, 'dialect 3');
set sql dialect 1;
insert into t values (2, "dialect 1");
set sql dialect 3;
insert into t values (3, 'dialect 3 again');
