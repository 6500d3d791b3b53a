/* More receipts for the tests that need a long posting or a busy day: as
   many as the session's context variable RECEIPTS says (100,000 when it is
   not set), dated RECEIPTS_DATE (today when it is not set). One in 50 goes to
   point of sale 4, one in 50 more to point of sale 3, the rest to 1 and 2 in
   turn; without all_accounts.sql, 4 has no accounts and 3 none in the IFRS
   ledger, so those stay unposted there. To set the variables, select them in
   the same session before reading this file:
     select rdb$set_context('USER_SESSION', 'RECEIPTS', 3000) from rdb$database;
     input 'tests/app/more_receipts.sql'; */
SET TERM ^;
EXECUTE BLOCK AS
  DECLARE n INTEGER;
  DECLARE d DATE;
  DECLARE i INTEGER = 0;
  DECLARE id INTEGER;
  DECLARE pv INTEGER;
BEGIN
  n = COALESCE(CAST(RDB$GET_CONTEXT('USER_SESSION', 'RECEIPTS') AS INTEGER), 100000);
  d = COALESCE(CAST(RDB$GET_CONTEXT('USER_SESSION', 'RECEIPTS_DATE') AS DATE), CURRENT_DATE);
  SELECT COALESCE(MAX(RECI_ID), 0) FROM RECIBO_CAJA INTO :id;
  WHILE (i < n) DO
  BEGIN
    i = i + 1;
    id = id + 1;
    pv = IIF(MOD(i, 50) = 0, 4, IIF(MOD(i, 25) = 0, 3, 1 + MOD(i, 2)));
    INSERT INTO RECIBO_CAJA (RECI_ID, PTVT_ID, RECI_PREF, RECI_NUM, RECI_FECHA, RECI_VALOR, RECI_FORMA_PAGO, TERC_NIT)
    VALUES (:id, :pv, 'T' || :pv, LPAD(:id, 6, '0'), :d, 1000 + MOD(:id, 997), 'EFECTIVO', '800');
  END
END^
SET TERM ;^
COMMIT;
