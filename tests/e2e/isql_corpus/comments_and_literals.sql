-- Comments with terminators and quotes, literals with terminators and
-- comment marks, alternative literals, quoted names, several statements on
-- one line and one statement over many lines.
/* a block comment; with 'quotes' and "names"
   over lines ; ; */
CREATE TABLE "Mixed;Name" ("a;b" INTEGER, "it's" VARCHAR(60));
CREATE TABLE T (ID INTEGER NOT NULL, S VARCHAR(60), CONSTRAINT T_PK PRIMARY KEY (ID));

INSERT INTO T VALUES (1, 'semi;colon'); INSERT INTO T VALUES (2, 'it''s'); INSERT INTO T VALUES (3, '-- not a comment');
INSERT INTO T VALUES (4, '/* not a comment */'); -- a comment ; after the statement
INSERT INTO T VALUES (5, q'{braces; 'inside'}');
INSERT INTO T VALUES (6, q'(parens;)'); INSERT INTO T VALUES (7, q'[brackets;]');
INSERT INTO T VALUES (8, Q'<angles;>'); INSERT INTO T VALUES (9, q'!bang; it's!');
INSERT INTO T VALUES (10, q'#hash;#');
INSERT INTO T /* inline; comment */ VALUES (11, 'a' || ';' || 'b');
INSERT INTO T
  VALUES (
    12,          -- a line comment; inside
    'over
several lines'   /* and a block ; inside */
  )
;
INSERT INTO "Mixed;Name" VALUES (1, 'name with a terminator');
INSERT INTO "Mixed;Name" ("a;b", "it's") VALUES (2, '"double" quotes');
;;
CREATE VIEW V_T (ID, S) AS
  SELECT ID, S FROM T   -- the view's source keeps this comment
  WHERE ID < 100;
COMMIT;
/* the end; */
