/* Procedures, triggers and an executable block under SET TERM, with
   terminators, quotes and comments inside their bodies. */
SET SQL DIALECT 3;

CREATE TABLE ORDERS (
  ID INTEGER NOT NULL PRIMARY KEY,
  NOTE VARCHAR(80),          -- a comment; with a terminator
  TOTAL NUMERIC(12, 2) DEFAULT 0
);
CREATE SEQUENCE ORDER_IDS;
CREATE TABLE ORDER_LOG (ID INTEGER, WHAT VARCHAR(80));

SET TERM ^ ;

CREATE TRIGGER ORDERS_BI FOR ORDERS
ACTIVE BEFORE INSERT POSITION 0
AS
BEGIN
  /* a new id when none is given; */
  IF (NEW.ID IS NULL) THEN
    NEW.ID = NEXT VALUE FOR ORDER_IDS;
  INSERT INTO ORDER_LOG VALUES (NEW.ID, 'insert; "quoted" and it''s ^ fine');
END^

CREATE PROCEDURE ADD_ORDER (NOTE VARCHAR(80), TOTAL NUMERIC(12, 2))
AS
  DECLARE NEW_ID INTEGER;
BEGIN
  -- two statements on one line inside the body
  NEW_ID = NEXT VALUE FOR ORDER_IDS; INSERT INTO ORDERS (ID, NOTE, TOTAL) VALUES (:NEW_ID, :NOTE, :TOTAL);
END ^

CREATE PROCEDURE ORDER_COUNT RETURNS (N INTEGER) AS
BEGIN
  SELECT COUNT(*) FROM ORDERS INTO :N;
  SUSPEND;
END /* kept with the body */ ^

SET TERM ; ^

-- the procedures run
EXECUTE PROCEDURE ADD_ORDER('first; order', 10.50);
EXECUTE PROCEDURE ADD_ORDER('second ^ order', 2); SELECT N FROM ORDER_COUNT;
INSERT INTO ORDERS (NOTE) VALUES ('by the trigger');
COMMIT;

set term !! ;
execute block as
  declare n integer;
begin
  select n from order_count into :n;
  insert into order_log values (:n, 'counted; ' || :n);
end!!
set term ;!!

COMMIT;
-- a comment after the last terminator; not a statement
