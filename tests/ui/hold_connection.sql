/*
 * Holds the connection step of the accessibility test at the server: an
 * attachment of the test's window program (accessible_window_probe) waits in
 * this trigger on a row that the test keeps locked in a transaction of its
 * own, for as long as the test needs to see what the window told the
 * accessibility bus meanwhile. The sequence counts the attachments that got
 * there. Every other client (isql, the test's own queries) passes.
 */
SET SQL DIALECT 3;

CREATE TABLE RETENCION (ID INTEGER NOT NULL PRIMARY KEY);
INSERT INTO RETENCION VALUES (1);
CREATE SEQUENCE ESPERAS_CONEXION;
COMMIT;

SET TERM ^ ;

CREATE TRIGGER RETENER_CONEXION ON CONNECT AS
    DECLARE VARIABLE N BIGINT;
BEGIN
    IF (RDB$GET_CONTEXT('SYSTEM', 'CLIENT_PROCESS') CONTAINING 'accessible_window_probe') THEN
    BEGIN
        N = GEN_ID(ESPERAS_CONEXION, 1);
        UPDATE RETENCION SET ID = ID WHERE ID = 1;
    END
END^

SET TERM ; ^

COMMIT;
