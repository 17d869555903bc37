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
        <source>Fit details...</source>
        <translation>フィット詳細...</translation>
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
    <name>FitDetails</name>
    <message>
        <location filename="../window/fitdetails.cpp"/>
        <source>Quadratic</source>
        <translation>二次式</translation>
    </message>
    <message>
        <location filename="../window/fitdetails.cpp"/>
        <source>Paralyzable</source>
        <translation>麻痺型</translation>
    </message>
    <message>
        <location filename="../window/fitdetails.cpp"/>
        <source>Non-paralyzable</source>
        <translation>非麻痺型</translation>
    </message>
    <message>
        <location filename="../window/fitdetails.cpp"/>
        <source>Indistinguishable</source>
        <translation>区別不能</translation>
    </message>
    <message>
        <location filename="../window/fitdetails.cpp"/>
        <source>Undecided</source>
        <translation>未決定</translation>
    </message>
    <message>
        <location filename="../window/fitdetails.cpp"/>
        <source>none</source>
        <translation>なし</translation>
    </message>
    <message>
        <location filename="../window/fitdetails.cpp"/>
        <source>failed</source>
        <translation>失敗</translation>
    </message>
    <message>
        <location filename="../window/fitdetails.cpp"/>
        <source>Channel %1, Tau0 (preAmp)</source>
        <translation>チャンネル %1、Tau0（プリアンプ）</translation>
    </message>
    <message>
        <location filename="../window/fitdetails.cpp"/>
        <source>Channel %1, Tau (Amp)</source>
        <translation>チャンネル %1、Tau（アンプ）</translation>
    </message>
    <message>
        <location filename="../window/fitdetails.cpp"/>
        <source>%1: %2</source>
        <translation>%1: %2</translation>
    </message>
    <message>
        <location filename="../window/fitdetails.cpp"/>
        <source>Preferred model: %1</source>
        <translation>推奨モデル: %1</translation>
    </message>
    <message>
        <location filename="../window/fitdetails.cpp"/>
        <source>Flags: %1</source>
        <translation>フラグ: %1</translation>
    </message>
    <message>
        <location filename="../window/fitdetails.cpp"/>
        <source>Save the fit table</source>
        <translation>フィット表の保存</translation>
    </message>
    <message>
        <location filename="../window/fitdetails.cpp"/>
        <source>CSV files (*.csv)</source>
        <translation>CSV ファイル (*.csv)</translation>
    </message>
    <message>
        <location filename="../window/fitdetails.cpp"/>
        <source>Fit details</source>
        <translation>フィット詳細</translation>
    </message>
    <message>
        <location filename="../window/fitdetails.cpp"/>
        <source>All models</source>
        <translation>全モデル</translation>
    </message>
    <message>
        <location filename="../window/fitdetails.cpp"/>
        <source>Channel</source>
        <translation>チャンネル</translation>
    </message>
    <message>
        <location filename="../window/fitdetails.cpp"/>
        <source>Model</source>
        <translation>モデル</translation>
    </message>
    <message>
        <location filename="../window/fitdetails.cpp"/>
        <source>Tau0 ± σ</source>
        <translation>Tau0 ± σ</translation>
    </message>
    <message>
        <location filename="../window/fitdetails.cpp"/>
        <source>Tau ± σ</source>
        <translation>Tau ± σ</translation>
    </message>
    <message>
        <location filename="../window/fitdetails.cpp"/>
        <source>Reduced χ² (I0 → ICR)</source>
        <translation>換算 χ² (I0 → ICR)</translation>
    </message>
    <message>
        <location filename="../window/fitdetails.cpp"/>
        <source>Reduced χ² (ICR → SCA)</source>
        <translation>換算 χ² (ICR → SCA)</translation>
    </message>
    <message>
        <location filename="../window/fitdetails.cpp"/>
        <source>Preferred (Tau0)</source>
        <translation>推奨 (Tau0)</translation>
    </message>
    <message>
        <location filename="../window/fitdetails.cpp"/>
        <source>Preferred (Tau)</source>
        <translation>推奨 (Tau)</translation>
    </message>
    <message>
        <location filename="../window/fitdetails.cpp"/>
        <source>Flags</source>
        <translation>フラグ</translation>
    </message>
    <message>
        <location filename="../window/fitdetails.cpp"/>
        <source>Copy</source>
        <translation>コピー</translation>
    </message>
    <message>
        <location filename="../window/fitdetails.cpp"/>
        <source>Save CSV...</source>
        <translation>CSV 保存...</translation>
    </message>
    <message>
        <location filename="../window/fitdetails.cpp"/>
        <source>Model:</source>
        <translation>モデル:</translation>
    </message>
    <message>
        <location filename="../window/fitdetails.cpp"/>
        <source>No estimation: read at least two measurement points.</source>
        <translation>推定なし: 測定点を 2 点以上読み込んでください。</translation>
    </message>
    <message>
        <location filename="../window/fitdetails.cpp"/>
        <source>Normalised residuals (y − fit) / σ of the selected channel; where a model holds they scatter within ±2.</source>
        <translation>選択したチャンネルの規格化残差 (y − フィット) / σ。モデルが合っていれば ±2 の範囲に散らばります。</translation>
    </message>
    <message>
        <location filename="../window/fitdetails.cpp"/>
        <source>%1, channel %2: against I0</source>
        <translation>%1、チャンネル %2: I0 に対して</translation>
    </message>
    <message>
        <location filename="../window/fitdetails.cpp"/>
        <source>%1, channel %2: against ICR</source>
        <translation>%1、チャンネル %2: ICR に対して</translation>
    </message>
    <message>
        <location filename="../window/fitdetails.cpp"/>
        <source>Cannot write %1: %2</source>
        <translation>%1 に書き込めません: %2</translation>
    </message>
    <message>
        <location filename="../window/fitdetails.cpp"/>
        <source>Saved %1</source>
        <translation>%1 を保存しました</translation>
    </message>
</context>
</TS>
