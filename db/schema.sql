/*
 * Demo ERP company database: points of sale, cash receipts, the local and
 * the IFRS (NIIF) ledgers, and the two posting procedures.
 *
 * Run with isql-fb on an empty database created with
 *   DEFAULT CHARACTER SET NONE   (the tool connects without a character set)
 * e.g.  isql-fb -q -user SYSDBA -password ... -i schema.sql /path/ledgara.fdb
 */
SET SQL DIALECT 3;

CREATE SEQUENCE GEN_COMPROBANTE;
CREATE SEQUENCE GEN_MOVIMIENTO;
CREATE SEQUENCE GEN_COMPROBANTE_NIIF;
CREATE SEQUENCE GEN_MOVIMIENTO_NIIF;

CREATE TABLE PUNTO_VENTA (
    PTVT_ID     INTEGER     NOT NULL,
    BODE_COD    VARCHAR(2)  NOT NULL,
    PTVT_NOM    VARCHAR(60) NOT NULL,
    PTVT_RESP   VARCHAR(60),
    CAJA_ID     INTEGER,
    PTVT_COLOR  VARCHAR(8),
    PREF_PRE    VARCHAR(4),
    TERC_NIT    VARCHAR(20),
    SUCU_ID     INTEGER,
    CONSTRAINT PK_PUNTO_VENTA PRIMARY KEY (PTVT_ID)
);

CREATE TABLE CUENTA (
    CUEN_ID   INTEGER     NOT NULL,
    CUEN_COD  VARCHAR(12) NOT NULL,
    CUEN_NOM  VARCHAR(60) NOT NULL,
    CONSTRAINT PK_CUENTA PRIMARY KEY (CUEN_ID),
    CONSTRAINT UQ_CUENTA_COD UNIQUE (CUEN_COD)
);

/* The accounts a point of sale posts its receipts to, per ledger:
   'L' the local ledger, 'N' the IFRS ledger. Cash is debited, the
   customers' receivable credited. */
CREATE TABLE CUENTA_PUNTO_VENTA (
    PTVT_ID       INTEGER NOT NULL,
    LIBRO         CHAR(1) NOT NULL,
    CUEN_CAJA     INTEGER NOT NULL,
    CUEN_CLIENTE  INTEGER NOT NULL,
    CONSTRAINT PK_CUENTA_PUNTO_VENTA PRIMARY KEY (PTVT_ID, LIBRO),
    CONSTRAINT FK_CPV_PUNTO_VENTA FOREIGN KEY (PTVT_ID) REFERENCES PUNTO_VENTA (PTVT_ID),
    CONSTRAINT FK_CPV_CAJA FOREIGN KEY (CUEN_CAJA) REFERENCES CUENTA (CUEN_ID),
    CONSTRAINT FK_CPV_CLIENTE FOREIGN KEY (CUEN_CLIENTE) REFERENCES CUENTA (CUEN_ID),
    CONSTRAINT CK_CPV_LIBRO CHECK (LIBRO IN ('L', 'N'))
);

/* Cash receipts. COMP_ID / COMP_NIIF_ID name the voucher that posted the
   receipt in each ledger; NULL while it is not posted there. */
CREATE TABLE RECIBO_CAJA (
    RECI_ID          INTEGER       NOT NULL,
    PTVT_ID          INTEGER       NOT NULL,
    RECI_PREF        VARCHAR(4)    NOT NULL,
    RECI_NUM         VARCHAR(6)    NOT NULL,
    RECI_FECHA       DATE          NOT NULL,
    RECI_VALOR       NUMERIC(15,2) NOT NULL,
    RECI_FORMA_PAGO  VARCHAR(10)   NOT NULL,
    TERC_NIT         VARCHAR(20)   NOT NULL,
    COMP_ID          INTEGER,
    COMP_NIIF_ID     INTEGER,
    CONSTRAINT PK_RECIBO_CAJA PRIMARY KEY (RECI_ID),
    CONSTRAINT UQ_RECIBO_NUMERO UNIQUE (RECI_PREF, RECI_NUM),
    CONSTRAINT FK_RECIBO_PUNTO_VENTA FOREIGN KEY (PTVT_ID) REFERENCES PUNTO_VENTA (PTVT_ID)
);
CREATE INDEX IX_RECIBO_FECHA ON RECIBO_CAJA (RECI_FECHA);

/* Vouchers and entries of the local ledger. A receipt has at most one
   voucher per ledger (UQ_COMPROBANTE_RECIBO), whatever the procedures do. */
CREATE TABLE COMPROBANTE (
    COMP_ID       INTEGER     NOT NULL,
    COMP_FECHA    DATE        NOT NULL,
    RECI_ID       INTEGER     NOT NULL,
    COMP_DETALLE  VARCHAR(60) NOT NULL,
    COMP_CREADO   TIMESTAMP   DEFAULT CURRENT_TIMESTAMP NOT NULL,
    CONSTRAINT PK_COMPROBANTE PRIMARY KEY (COMP_ID),
    CONSTRAINT UQ_COMPROBANTE_RECIBO UNIQUE (RECI_ID),
    CONSTRAINT FK_COMPROBANTE_RECIBO FOREIGN KEY (RECI_ID) REFERENCES RECIBO_CAJA (RECI_ID)
);

CREATE TABLE MOVIMIENTO (
    MOVI_ID   INTEGER       NOT NULL,
    COMP_ID   INTEGER       NOT NULL,
    CUEN_ID   INTEGER       NOT NULL,
    TERC_NIT  VARCHAR(20),
    DEBITO    NUMERIC(15,2) DEFAULT 0 NOT NULL,
    CREDITO   NUMERIC(15,2) DEFAULT 0 NOT NULL,
    CONSTRAINT PK_MOVIMIENTO PRIMARY KEY (MOVI_ID),
    CONSTRAINT FK_MOVIMIENTO_COMPROBANTE FOREIGN KEY (COMP_ID) REFERENCES COMPROBANTE (COMP_ID),
    CONSTRAINT FK_MOVIMIENTO_CUENTA FOREIGN KEY (CUEN_ID) REFERENCES CUENTA (CUEN_ID),
    CONSTRAINT CK_MOVIMIENTO_LADO CHECK (DEBITO >= 0 AND CREDITO >= 0 AND (DEBITO = 0 OR CREDITO = 0))
);

/* The same for the IFRS ledger. */
CREATE TABLE COMPROBANTE_NIIF (
    COMP_ID       INTEGER     NOT NULL,
    COMP_FECHA    DATE        NOT NULL,
    RECI_ID       INTEGER     NOT NULL,
    COMP_DETALLE  VARCHAR(60) NOT NULL,
    COMP_CREADO   TIMESTAMP   DEFAULT CURRENT_TIMESTAMP NOT NULL,
    CONSTRAINT PK_COMPROBANTE_NIIF PRIMARY KEY (COMP_ID),
    CONSTRAINT UQ_COMPROBANTE_NIIF_RECIBO UNIQUE (RECI_ID),
    CONSTRAINT FK_COMPROBANTE_NIIF_RECIBO FOREIGN KEY (RECI_ID) REFERENCES RECIBO_CAJA (RECI_ID)
);

CREATE TABLE MOVIMIENTO_NIIF (
    MOVI_ID   INTEGER       NOT NULL,
    COMP_ID   INTEGER       NOT NULL,
    CUEN_ID   INTEGER       NOT NULL,
    TERC_NIT  VARCHAR(20),
    DEBITO    NUMERIC(15,2) DEFAULT 0 NOT NULL,
    CREDITO   NUMERIC(15,2) DEFAULT 0 NOT NULL,
    CONSTRAINT PK_MOVIMIENTO_NIIF PRIMARY KEY (MOVI_ID),
    CONSTRAINT FK_MOVIMIENTO_NIIF_COMPROBANTE FOREIGN KEY (COMP_ID) REFERENCES COMPROBANTE_NIIF (COMP_ID),
    CONSTRAINT FK_MOVIMIENTO_NIIF_CUENTA FOREIGN KEY (CUEN_ID) REFERENCES CUENTA (CUEN_ID),
    CONSTRAINT CK_MOVIMIENTO_NIIF_LADO CHECK (DEBITO >= 0 AND CREDITO >= 0 AND (DEBITO = 0 OR CREDITO = 0))
);

COMMIT;

SET TERM ^ ;

/*
 * Posts every not-yet-posted cash receipt dated FECHA_INI .. FECHA_FIN
 * (text yyyy/mm/dd) in the local ledger, restricted to the receipt prefix
 * PREFIJO unless it is empty, and returns one row per receipt: ESTADO says
 * 'CONTABILIZADO' (IDI: the voucher, IDC: the cash account debited) or why it
 * stays unposted; such a receipt stops nothing else.
 *
 * Each receipt is claimed before it is posted: the UPDATE only succeeds on a
 * receipt still unposted. A concurrent run that holds the receipt's row makes
 * the UPDATE wait for that run to end; the conflict that follows lands in the
 * WHEN below, the block's own work is undone and the claim is tried again.
 * If the other run posted the receipt in this ledger the claim now finds it
 * marked and leaves it to that run (no row); if it was a run of the other
 * ledger, which holds the same row, the claim succeeds. So two runs never
 * post one receipt twice, and runs of both ledgers at once lose none. A row
 * still in conflict after ten tries comes back as 'RECIBO EN USO', unposted.
 * The work becomes durable when the caller commits after the last fetch.
 */
CREATE PROCEDURE RECIBOS_SIN_CONTABILIDAD (
    FECHA_INI VARCHAR(30),
    FECHA_FIN VARCHAR(30),
    PREFIJO   VARCHAR(4))
RETURNS (
    ID      INTEGER,
    PREF    VARCHAR(4),
    NUMERO  VARCHAR(6),
    ESTADO  VARCHAR(20),
    IDI     INTEGER,
    IDC     INTEGER)
AS
    DECLARE VARIABLE DESDE   DATE;
    DECLARE VARIABLE HASTA   DATE;
    DECLARE VARIABLE PTVT    INTEGER;
    DECLARE VARIABLE FECHA   DATE;
    DECLARE VARIABLE VALOR   NUMERIC(15,2);
    DECLARE VARIABLE NIT     VARCHAR(20);
    DECLARE VARIABLE CAJA    INTEGER;
    DECLARE VARIABLE CLIENTE INTEGER;
    DECLARE VARIABLE TOMADO  SMALLINT;
    DECLARE VARIABLE INTENTOS SMALLINT;
BEGIN
    DESDE = CAST(FECHA_INI AS DATE);
    HASTA = CAST(FECHA_FIN AS DATE);
    FOR SELECT R.RECI_ID, R.RECI_PREF, R.RECI_NUM, R.PTVT_ID, R.RECI_FECHA, R.RECI_VALOR, R.TERC_NIT
          FROM RECIBO_CAJA R
         WHERE R.RECI_FECHA BETWEEN :DESDE AND :HASTA
           AND R.COMP_ID IS NULL
           AND (COALESCE(:PREFIJO, '') = '' OR R.RECI_PREF = :PREFIJO)
         ORDER BY R.RECI_ID
          INTO :ID, :PREF, :NUMERO, :PTVT, :FECHA, :VALOR, :NIT
    DO
    BEGIN
        IDI = NULL;
        IDC = NULL;
        CAJA = NULL;
        CLIENTE = NULL;
        TOMADO = 1;
        SELECT C.CUEN_CAJA, C.CUEN_CLIENTE
          FROM CUENTA_PUNTO_VENTA C
         WHERE C.PTVT_ID = :PTVT AND C.LIBRO = 'L'
          INTO :CAJA, :CLIENTE;
        IF (CAJA IS NULL OR CLIENTE IS NULL) THEN
            ESTADO = 'SIN CUENTA CONTABLE';
        ELSE IF (VALOR <= 0) THEN
            ESTADO = 'VALOR NO VALIDO';
        ELSE
        BEGIN
            IDI = NEXT VALUE FOR GEN_COMPROBANTE;
            INTENTOS = 0;
            TOMADO = NULL;
            WHILE (TOMADO IS NULL) DO
            BEGIN
                INTENTOS = INTENTOS + 1;
                UPDATE RECIBO_CAJA SET COMP_ID = :IDI
                 WHERE RECI_ID = :ID AND COMP_ID IS NULL;
                IF (ROW_COUNT = 0) THEN
                    TOMADO = 0;
                ELSE
                BEGIN
                    INSERT INTO COMPROBANTE (COMP_ID, COMP_FECHA, RECI_ID, COMP_DETALLE)
                    VALUES (:IDI, :FECHA, :ID, 'RECIBO DE CAJA ' || :PREF || '-' || :NUMERO);
                    INSERT INTO MOVIMIENTO (MOVI_ID, COMP_ID, CUEN_ID, TERC_NIT, DEBITO, CREDITO)
                    VALUES (NEXT VALUE FOR GEN_MOVIMIENTO, :IDI, :CAJA, :NIT, :VALOR, 0);
                    INSERT INTO MOVIMIENTO (MOVI_ID, COMP_ID, CUEN_ID, TERC_NIT, DEBITO, CREDITO)
                    VALUES (NEXT VALUE FOR GEN_MOVIMIENTO, :IDI, :CLIENTE, :NIT, 0, :VALOR);
                    IDC = CAJA;
                    ESTADO = 'CONTABILIZADO';
                    TOMADO = 1;
                END
                WHEN GDSCODE unique_key_violation DO
                    TOMADO = 0;
                WHEN GDSCODE update_conflict, GDSCODE deadlock, GDSCODE lock_conflict DO
                BEGIN
                    /* The run that held the row has ended; the claim is tried
                       again and its condition decides. The row may have been
                       held by a run of the other ledger, which leaves this
                       ledger's mark free. */
                    TOMADO = NULL;
                    IF (INTENTOS >= 10) THEN
                    BEGIN
                        IDI = NULL;
                        ESTADO = 'RECIBO EN USO';
                        TOMADO = 1;
                    END
                END
            END
        END
        IF (TOMADO = 1) THEN
            SUSPEND;
    END
END^

/* The same in the IFRS ledger: its own accounts ('N'), vouchers and claim. */
CREATE PROCEDURE RECIBOS_SIN_CONTABILIDAD_NIIF (
    FECHA_INI VARCHAR(30),
    FECHA_FIN VARCHAR(30),
    PREFIJO   VARCHAR(4))
RETURNS (
    ID      INTEGER,
    PREF    VARCHAR(4),
    NUMERO  VARCHAR(6),
    ESTADO  VARCHAR(20),
    IDI     INTEGER,
    IDC     INTEGER)
AS
    DECLARE VARIABLE DESDE   DATE;
    DECLARE VARIABLE HASTA   DATE;
    DECLARE VARIABLE PTVT    INTEGER;
    DECLARE VARIABLE FECHA   DATE;
    DECLARE VARIABLE VALOR   NUMERIC(15,2);
    DECLARE VARIABLE NIT     VARCHAR(20);
    DECLARE VARIABLE CAJA    INTEGER;
    DECLARE VARIABLE CLIENTE INTEGER;
    DECLARE VARIABLE TOMADO  SMALLINT;
    DECLARE VARIABLE INTENTOS SMALLINT;
BEGIN
    DESDE = CAST(FECHA_INI AS DATE);
    HASTA = CAST(FECHA_FIN AS DATE);
    FOR SELECT R.RECI_ID, R.RECI_PREF, R.RECI_NUM, R.PTVT_ID, R.RECI_FECHA, R.RECI_VALOR, R.TERC_NIT
          FROM RECIBO_CAJA R
         WHERE R.RECI_FECHA BETWEEN :DESDE AND :HASTA
           AND R.COMP_NIIF_ID IS NULL
           AND (COALESCE(:PREFIJO, '') = '' OR R.RECI_PREF = :PREFIJO)
         ORDER BY R.RECI_ID
          INTO :ID, :PREF, :NUMERO, :PTVT, :FECHA, :VALOR, :NIT
    DO
    BEGIN
        IDI = NULL;
        IDC = NULL;
        CAJA = NULL;
        CLIENTE = NULL;
        TOMADO = 1;
        SELECT C.CUEN_CAJA, C.CUEN_CLIENTE
          FROM CUENTA_PUNTO_VENTA C
         WHERE C.PTVT_ID = :PTVT AND C.LIBRO = 'N'
          INTO :CAJA, :CLIENTE;
        IF (CAJA IS NULL OR CLIENTE IS NULL) THEN
            ESTADO = 'SIN CUENTA NIIF';
        ELSE IF (VALOR <= 0) THEN
            ESTADO = 'VALOR NO VALIDO';
        ELSE
        BEGIN
            IDI = NEXT VALUE FOR GEN_COMPROBANTE_NIIF;
            INTENTOS = 0;
            TOMADO = NULL;
            WHILE (TOMADO IS NULL) DO
            BEGIN
                INTENTOS = INTENTOS + 1;
                UPDATE RECIBO_CAJA SET COMP_NIIF_ID = :IDI
                 WHERE RECI_ID = :ID AND COMP_NIIF_ID IS NULL;
                IF (ROW_COUNT = 0) THEN
                    TOMADO = 0;
                ELSE
                BEGIN
                    INSERT INTO COMPROBANTE_NIIF (COMP_ID, COMP_FECHA, RECI_ID, COMP_DETALLE)
                    VALUES (:IDI, :FECHA, :ID, 'RECIBO DE CAJA ' || :PREF || '-' || :NUMERO);
                    INSERT INTO MOVIMIENTO_NIIF (MOVI_ID, COMP_ID, CUEN_ID, TERC_NIT, DEBITO, CREDITO)
                    VALUES (NEXT VALUE FOR GEN_MOVIMIENTO_NIIF, :IDI, :CAJA, :NIT, :VALOR, 0);
                    INSERT INTO MOVIMIENTO_NIIF (MOVI_ID, COMP_ID, CUEN_ID, TERC_NIT, DEBITO, CREDITO)
                    VALUES (NEXT VALUE FOR GEN_MOVIMIENTO_NIIF, :IDI, :CLIENTE, :NIT, 0, :VALOR);
                    IDC = CAJA;
                    ESTADO = 'CONTABILIZADO';
                    TOMADO = 1;
                END
                WHEN GDSCODE unique_key_violation DO
                    TOMADO = 0;
                WHEN GDSCODE update_conflict, GDSCODE deadlock, GDSCODE lock_conflict DO
                BEGIN
                    /* The run that held the row has ended; the claim is tried
                       again and its condition decides. The row may have been
                       held by a run of the other ledger, which leaves this
                       ledger's mark free. */
                    TOMADO = NULL;
                    IF (INTENTOS >= 10) THEN
                    BEGIN
                        IDI = NULL;
                        ESTADO = 'RECIBO EN USO';
                        TOMADO = 1;
                    END
                END
            END
        END
        IF (TOMADO = 1) THEN
            SUSPEND;
    END
END^

SET TERM ; ^

/* Any user may read the points of sale and run the posting; the procedures
   hold the rights on the ledgers themselves. */
GRANT SELECT ON PUNTO_VENTA TO PUBLIC;
GRANT EXECUTE ON PROCEDURE RECIBOS_SIN_CONTABILIDAD TO PUBLIC;
GRANT EXECUTE ON PROCEDURE RECIBOS_SIN_CONTABILIDAD_NIIF TO PUBLIC;

GRANT SELECT, UPDATE ON RECIBO_CAJA TO PROCEDURE RECIBOS_SIN_CONTABILIDAD;
GRANT SELECT ON CUENTA_PUNTO_VENTA TO PROCEDURE RECIBOS_SIN_CONTABILIDAD;
GRANT SELECT, INSERT ON COMPROBANTE TO PROCEDURE RECIBOS_SIN_CONTABILIDAD;
GRANT SELECT, INSERT ON MOVIMIENTO TO PROCEDURE RECIBOS_SIN_CONTABILIDAD;
GRANT USAGE ON SEQUENCE GEN_COMPROBANTE TO PROCEDURE RECIBOS_SIN_CONTABILIDAD;
GRANT USAGE ON SEQUENCE GEN_MOVIMIENTO TO PROCEDURE RECIBOS_SIN_CONTABILIDAD;

GRANT SELECT, UPDATE ON RECIBO_CAJA TO PROCEDURE RECIBOS_SIN_CONTABILIDAD_NIIF;
GRANT SELECT ON CUENTA_PUNTO_VENTA TO PROCEDURE RECIBOS_SIN_CONTABILIDAD_NIIF;
GRANT SELECT, INSERT ON COMPROBANTE_NIIF TO PROCEDURE RECIBOS_SIN_CONTABILIDAD_NIIF;
GRANT SELECT, INSERT ON MOVIMIENTO_NIIF TO PROCEDURE RECIBOS_SIN_CONTABILIDAD_NIIF;
GRANT USAGE ON SEQUENCE GEN_COMPROBANTE_NIIF TO PROCEDURE RECIBOS_SIN_CONTABILIDAD_NIIF;
GRANT USAGE ON SEQUENCE GEN_MOVIMIENTO_NIIF TO PROCEDURE RECIBOS_SIN_CONTABILIDAD_NIIF;

COMMIT;
