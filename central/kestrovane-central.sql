-- A team's central archive for Kestrovane, made once by a PostgreSQL superuser:
--     sudo -u postgres psql -v ON_ERROR_STOP=1 -f kestrovane-central.sql
-- kestrovane_owner owns the tables: the program makes them, and brings them up to date after an
-- upgrade, when it connects as this role. The laptops and Ormix connect as kestrovane_push, which
-- may only read and add (SELECT and INSERT), never change or delete what is there.
CREATE ROLE kestrovane_owner LOGIN;
CREATE ROLE kestrovane_push LOGIN;
CREATE DATABASE kestrovane OWNER kestrovane_owner;
\connect kestrovane
REVOKE ALL ON DATABASE kestrovane FROM PUBLIC;
GRANT CONNECT, TEMPORARY ON DATABASE kestrovane TO kestrovane_push;
CREATE SCHEMA kestrovane AUTHORIZATION kestrovane_owner;
GRANT USAGE ON SCHEMA kestrovane TO kestrovane_push;
ALTER DEFAULT PRIVILEGES FOR ROLE kestrovane_owner IN SCHEMA kestrovane
    GRANT SELECT, INSERT ON TABLES TO kestrovane_push;
