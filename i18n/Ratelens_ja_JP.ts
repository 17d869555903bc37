<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ja_JP">
<context>
    <name>Body</name>
    <message>
        <location filename="../window/body.ui"/>
        <source>Ratelens</source>
        <translation></translation>
    </message>
    <message>
        <location filename="../window/body.ui"/>
        <source>Quit</source>
        <translation>終了</translation>
    </message>
    <message>
        <location filename="../window/body.ui"/>
        <source>Save</source>
        <translation>保存</translation>
    </message>
    <message>
        <location filename="../window/body.ui"/>
        <source>Read File(s)</source>
        <translation>ファイル読込</translation>
    </message>
    <message>
        <location filename="../window/body.ui"/>
        <source>Clear</source>
        <translation>クリア</translation>
    </message>
    <message>
        <location filename="../window/body.ui"/>
        <source>I0 Back Ground</source>
        <translation>I0バックグラウンド</translation>
    </message>
    <message>
        <location filename="../window/body.ui"/>
        <source>0</source>
        <translation></translation>
    </message>
    <message>
        <location filename="../window/body.ui"/>
        <source>Tau0s (preAmp)</source>
        <translation>τ0 (preAmp)</translation>
    </message>
    <message>
        <location filename="../window/body.ui"/>
        <source>Taus (Amp)</source>
        <translation>τ (Amp)</translation>
    </message>
</context>
<context>
    <name>AMeasP</name>
    <message>
        <location filename="../window/ameasp.ui"/>
        <source>A Meas Point</source>
        <translation>測定点</translation>
    </message>
    <message>
        <location filename="../window/ameasp.ui"/>
        <source>I0</source>
        <translation></translation>
    </message>
    <message>
        <location filename="../window/ameasp.ui"/>
        <source>ICRs</source>
        <translation></translation>
    </message>
    <message>
        <location filename="../window/ameasp.ui"/>
        <source>SCAs</source>
        <translation></translation>
    </message>
    <message>
        <location filename="../window/ameasp.ui"/>
        <source>0</source>
        <translation></translation>
    </message>
</context>
</TS>
