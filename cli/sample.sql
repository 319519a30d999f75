-- The sample stock list that `tolvane` exports to every table type.
CREATE TABLE stock (
  sku      VARCHAR(13),
  name     VARCHAR(24),
  qty      INTEGER,
  price    MONEY,
  weight   REAL,
  active   BOOLEAN,
  received DATE
);
INSERT INTO stock VALUES ('4006381333931', 'Highlighter, yellow',  120,  1.25, 0.012, 1, '2026-11-02');
INSERT INTO stock VALUES ('5512345000017', 'Label roll 40x30',      36, 14.9,  0.35,  1, '2026-10-15');
INSERT INTO stock VALUES ('0036000291452', 'Cable ties (100)',      250,  3.5,  0.2,   1, '2026-09-30');
INSERT INTO stock VALUES ('4250000000019', 'Scanner stand',          4, 39.0,  1.1,   0, '2025-12-01');
INSERT INTO stock VALUES ('9780201379624', 'O''Reilly "Pocket" guide', 12, 9.99, 0.18, 1, NULL);
