-- A lone CR does not end a line comment: the first insert is comment.
create table e (id integer, s varchar(20));
-- hiddeninsert into e values (1, 'hidden');
insert into e values (2, 'two');
set term ^;
insert into e values (3, 'three')^
set term ^;
insert into e values (4, 'four')^
set term ;^
insert into e values (5, 'five');
set term !!;
set term!!
insert into e values (6, 'six');
insert into e values (7, 'unterminated')
