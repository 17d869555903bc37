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
    <message>
        <location filename="../window/body.cpp"/>
        <source>Channel %1, point %2</source>
        <translation>チャンネル %1、測定点 %2</translation>
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
<context>
    <name>DispA</name>
    <message>
        <location filename="../window/dispa.cpp"/>
        <source>Show Axes and Legend</source>
        <translation>軸と凡例を表示</translation>
    </message>
    <message>
        <location filename="../window/dispa.cpp"/>
        <source>Restore Data Ranges</source>
        <translation>データ範囲に戻す</translation>
    </message>
    <message>
        <location filename="../window/dispa.cpp"/>
        <source>Save Image...</source>
        <translation>画像を保存...</translation>
    </message>
    <message>
        <location filename="../window/dispa.cpp"/>
        <source>Copy Image</source>
        <translation>画像をコピー</translation>
    </message>
    <message>
        <location filename="../window/dispa.cpp"/>
        <source>Save Plot Image</source>
        <translation>プロット画像の保存</translation>
    </message>
    <message>
        <location filename="../window/dispa.cpp"/>
        <source>PNG image (*.png)</source>
        <translation>PNG画像 (*.png)</translation>
    </message>
    <message>
        <location filename="../window/dispa.cpp"/>
        <source>SVG image (*.svg)</source>
        <translation>SVG画像 (*.svg)</translation>
    </message>
</context>
<context>
    <name>Plot</name>
    <message>
        <location filename="../plot/plotaxes.cpp"/>
        <source>Channel</source>
        <translation>チャンネル</translation>
    </message>
    <message>
        <location filename="../plot/plotaxes.cpp"/>
        <source>Input count rate against I0</source>
        <translation>I0に対する入力計数率</translation>
    </message>
    <message>
        <location filename="../plot/plotaxes.cpp"/>
        <source>I0</source>
        <translation>I0</translation>
    </message>
    <message>
        <location filename="../plot/plotaxes.cpp"/>
        <source>ICR (Nin)</source>
        <translation>ICR (Nin)</translation>
    </message>
    <message>
        <location filename="../plot/plotaxes.cpp"/>
        <source>Output against input count rate</source>
        <translation>入力計数率に対する出力計数率</translation>
    </message>
    <message>
        <location filename="../plot/plotaxes.cpp"/>
        <source>SCA (Nout)</source>
        <translation>SCA (Nout)</translation>
    </message>
</context>
</TS>
